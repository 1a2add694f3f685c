#include "../support/SimulatedSetup.h"

#include "DeviceProtocol.h"
#include "DeviceSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

class DeviceUnit : public ::testing::Test {
protected:
    void TearDown() override { closeOpenDeviceList(); }
};

size_t requestCount(const SimulatedSetup& setup, size_t index) {
    return setup.requests(index).size();
}

// The same devices listed in another order: the first interface goes last.
class FirstLast : public HidSystem {
public:
    explicit FirstLast(std::shared_ptr<HidSystem> system) : system_(std::move(system)) {}
    bool listInterfaces(std::vector<HidInterface>& interfaces) override {
        if (!system_->listInterfaces(interfaces))
            return false;
        if (!interfaces.empty())
            std::rotate(interfaces.begin(), interfaces.begin() + 1, interfaces.end());
        return true;
    }
    HidOpenStatus open(const std::string& path, std::unique_ptr<HidConnection>& connection) override {
        return system_->open(path, connection);
    }

private:
    std::shared_ptr<HidSystem> system_;
};

} // namespace

// The unit a search first opened (device 0) goes away while device 1 with the same
// IDs, plugged a little later, stays and is listed first: the search only ever comes
// back to the same unit.
TEST_F(DeviceUnit, ASearchNeverMovesToATwin) {
    struct Case {
        const char* devices;
        bool comesBack;    // device 0 is plugged again, a little later
        bool twinIsTheUnit; // device 1 is the same unit by the system's word
    };
    const Case cases[] = {
        {"serial=A;serial=B,appear=200", false, false},
        {"port=1-1;port=1-2,appear=200", false, false},
        {"fw=1.0.00;appear=200", false, false}, // each with a port of its own
        {"serial=A;serial=B,appear=200", true, false},
        {"port=1-1;port=1-2,appear=200", true, false},
        {"serial=A;serial=A,port=9,appear=200", false, true}, // a serial on another port
        {"port=1-1;port=1-1,appear=200", false, true},       // without serials, that port
    };
    for (const Case& c : cases) {
        SimulatedSetup setup(c.devices);
        ASSERT_TRUE(setup.load(512));
        CFirmwareUpdater updater(std::make_shared<FirstLast>(setup.hid));
        ASSERT_TRUE(updater.loadFile(setup.makeFile(setup.image).c_str()));
        ASSERT_TRUE(updater.queryInfo()) << c.devices;
        ASSERT_EQ(updater.device().path(), setup.hid->path(0));
        while (!setup.hid->present(1))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));

        setup.hid->unplug(0, c.comesBack ? 300 : -1);
        updater.closeDevice();
        EXPECT_EQ(updater.queryInfo(), c.twinIsTheUnit) << c.devices;
        if (c.twinIsTheUnit) {
            EXPECT_EQ(updater.device().path(), setup.hid->path(1)) << c.devices;
            continue;
        }
        EXPECT_EQ(updater.lastFailure().kind, UpdateFailure::Kind::NotConnected) << c.devices;
        if (c.comesBack) {
            while (!setup.hid->present(0))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            EXPECT_TRUE(updater.queryInfo()) << c.devices;
            EXPECT_EQ(updater.device().path(), setup.hid->path(0)) << c.devices;
        } else {
            EXPECT_FALSE(updater.devicePresent()) << c.devices;
        }
        EXPECT_EQ(requestCount(setup, 1), 0u) << c.devices << ": the twin was asked";
        closeOpenDeviceList();
    }
}

TEST_F(DeviceUnit, WithoutTheUnitItShowedAPresenceCheckLetsItGo) {
    // A device view that lost its unit forgets it: the next check may find the twin,
    // which then has to tell its own versions.
    SimulatedSetup setup("fw=1.0.00;fw=1.0.05");
    ASSERT_TRUE(setup.load(512));
    CFirmwareUpdater& updater = *setup.updater;
    ASSERT_TRUE(updater.devicePresent());
    ASSERT_TRUE(updater.queryInfo());
    EXPECT_EQ(updater.firmwareVersion(), (FirmwareVersion{1, 0, 0}));
    setup.hid->unplug(0);
    EXPECT_FALSE(updater.devicePresent());
    EXPECT_FALSE(updater.boundUnit());
    EXPECT_EQ(updater.firmwareVersion().major, 0xFF);
    EXPECT_TRUE(updater.devicePresent());
    ASSERT_TRUE(updater.queryInfo());
    EXPECT_EQ(updater.device().path(), setup.hid->path(1));
    EXPECT_EQ(updater.firmwareVersion(), (FirmwareVersion{1, 0, 5}));
}

TEST_F(DeviceUnit, AnotherUpdaterGetsNeitherTheDeviceNorASingleReport) {
    SimulatedSetup setup;
    ASSERT_TRUE(setup.load(512));
    CFirmwareUpdater second(setup.hid);
    ASSERT_TRUE(second.loadFile(setup.makeFile(setup.image).c_str()));

    ASSERT_TRUE(setup.updater->queryInfo());
    const size_t requests = requestCount(setup, 0);
    EXPECT_FALSE(second.queryInfo());
    EXPECT_EQ(second.lastFailure().kind, UpdateFailure::Kind::InUse);
    EXPECT_EQ(second.lastFailure().text(), "device busy: in use by another updater");
    std::atomic<int> progress{0};
    EXPECT_FALSE(second.runUpdate(progress));
    EXPECT_EQ(requestCount(setup, 0), requests);

    // Let go, it is free again.
    setup.updater->closeDevice();
    EXPECT_TRUE(second.queryInfo());

    // With a twin free, a second updater takes the twin instead.
    SimulatedSetup twins("count=2");
    ASSERT_TRUE(twins.load(512));
    CFirmwareUpdater other(twins.hid);
    ASSERT_TRUE(other.loadFile(twins.makeFile(twins.image).c_str()));
    ASSERT_TRUE(twins.updater->queryInfo());
    ASSERT_TRUE(other.queryInfo());
    EXPECT_EQ(twins.updater->device().path(), twins.hid->path(0));
    EXPECT_EQ(other.device().path(), twins.hid->path(1));
}

TEST_F(DeviceUnit, AReplyLeftOverIsDroppedBeforeTheNextRequest) {
    SimulatedSetup setup("block=64");
    ASSERT_TRUE(setup.load(256));
    CFirmwareUpdater& updater = *setup.updater;
    ASSERT_TRUE(updater.queryInfo());

    // A late information reply sits in the input when the run begins.
    uint8_t data[kMaxReportData] = {0x09, 0x12, 0x01, 0x00, kRequestFixedValue, 0, CMD_GET_INFO};
    uint8_t request[kReportSize];
    frameReport(request, data, kRequestHeaderLength);
    ASSERT_TRUE(updater.device().writeReport(request));
    ASSERT_TRUE(updater.sendRequest(kRequestHeaderLength, data)); // and one more answered
    updater.sendClose(); // answered by nothing: what waited is gone
    uint8_t waiting[kReportSize];
    EXPECT_FALSE(updater.device().readReport(waiting, 50));

    ASSERT_TRUE(updater.device().writeReport(request));
    std::atomic<int> progress{0};
    EXPECT_TRUE(updater.runUpdate(progress)) << updater.lastFailure().text();
    EXPECT_EQ(setup.storedImage(), setup.image);
}

TEST_F(DeviceUnit, OfAUnitsInterfacesTheOneThatAnswersIsTaken) {
    // Listed: device 0's silent second interface, the twin, device 0's first.
    SimulatedSetup setup("interfaces=2,port=P;port=Q");
    ASSERT_TRUE(setup.load(512));
    CFirmwareUpdater updater(std::make_shared<FirstLast>(setup.hid));
    ASSERT_TRUE(updater.loadFile(setup.makeFile(setup.image).c_str()));
    ASSERT_TRUE(updater.queryInfo()) << updater.lastFailure().text();
    EXPECT_EQ(updater.device().path(), setup.hid->path(0));
    EXPECT_EQ(requestCount(setup, 1), 0u); // the twin was never asked
    std::atomic<int> progress{0};
    EXPECT_TRUE(updater.runUpdate(progress));
    EXPECT_EQ(setup.storedImage(0), setup.image);
}

TEST_F(DeviceUnit, TheUnitAViewFoundIsTheOneItUpdatesEvenWhenAnotherHoldsIt) {
    SimulatedSetup setup("count=2");
    ASSERT_TRUE(setup.load(512));
    CFirmwareUpdater holder(setup.hid);
    ASSERT_TRUE(holder.loadFile(setup.makeFile(setup.image).c_str()));
    ASSERT_TRUE(holder.queryInfo()); // device 0, held

    CFirmwareUpdater& view = *setup.updater;
    ASSERT_TRUE(view.devicePresent()); // found without opening: device 0, the first listed
    ASSERT_TRUE(view.boundUnit());
    EXPECT_EQ(view.boundUnit()->path, setup.hid->path(0));
    std::atomic<int> progress{0};
    EXPECT_FALSE(view.runUpdate(progress));
    EXPECT_EQ(view.lastFailure().kind, UpdateFailure::Kind::InUse);
    EXPECT_TRUE(setup.requests(1).empty()); // the free twin was not taken instead
}

TEST_F(DeviceUnit, AUnitAnotherUpdaterHoldsIsLeftAloneWhole) {
    // The holder has the unit's first interface; its second is free but is the same
    // unit: nothing goes to it, and the cause says who holds the unit.
    SimulatedSetup setup("interfaces=2");
    ASSERT_TRUE(setup.load(512));
    CFirmwareUpdater second(setup.hid);
    ASSERT_TRUE(second.loadFile(setup.makeFile(setup.image).c_str()));
    ASSERT_TRUE(setup.updater->queryInfo());
    ASSERT_EQ(setup.updater->device().path(), setup.hid->path(0));
    EXPECT_FALSE(second.queryInfo());
    EXPECT_EQ(second.lastFailure().kind, UpdateFailure::Kind::InUse);
    EXPECT_FALSE(second.device().isOpen());

    // Given up, the unit is free at once: no copy kept by the search still holds it.
    setup.updater->closeDevice();
    EXPECT_TRUE(second.queryInfo());
}
