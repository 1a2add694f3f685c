#include "../support/SimulatedSetup.h"

#include "DeviceSearch.h"

#include <gtest/gtest.h>

namespace {

// Interfaces with fixed path texts, for matching rules the simulated devices
// cannot show (letter case, other devices, interfaces that refuse to open).
class ListedHidSystem : public HidSystem {
public:
    struct NullConnection : HidConnection {
        std::unique_ptr<HidConnection> duplicate() const override {
            return std::make_unique<NullConnection>();
        }
        bool write(const uint8_t (&)[kHidTransferSize], int) override { return false; }
        bool read(uint8_t (&)[kHidTransferSize], int) override { return false; }
        int discardInput() override { return 0; }
        bool claimExclusive() override { return true; }
    };

    bool listInterfaces(std::vector<HidInterface>& out) override {
        out.clear();
        for (const std::string& path : paths)
            out.push_back({path});
        return listable;
    }
    HidOpenStatus open(const std::string& path, std::unique_ptr<HidConnection>& c) override {
        if (path.find("locked") != std::string::npos)
            return HidOpenStatus::Failed;
        c = std::make_unique<NullConnection>();
        return HidOpenStatus::Opened;
    }

    std::vector<std::string> paths;
    bool listable = true;
};

class DeviceSearch : public ::testing::Test {
protected:
    void TearDown() override { closeOpenDeviceList(); }
};

} // namespace

TEST_F(DeviceSearch, PatternIsLowerCaseHex) {
    EXPECT_EQ(devicePattern(0x1234, 0xABCD), "vid_1234&pid_abcd");
    EXPECT_EQ(devicePattern(0x1, 0x0), "vid_0001&pid_0000");
}

TEST_F(DeviceSearch, TwoMatchingDevicesTheFirstIsUsedAndBothStayOpen) {
    SimulatedSetup setup("count=2");
    CHidDevice inUse;
    EXPECT_EQ(findDevice(*setup.hid, inUse, "vid_1209&pid_0001", true), kDeviceOther);
    EXPECT_EQ(inUse.path(), setup.hid->path(0));
    EXPECT_TRUE(inUse.isOpen());
    EXPECT_EQ(openDeviceListPaths(),
              (std::vector<std::string>{setup.hid->path(0), setup.hid->path(1)}));

    // Searching again while the device in use is there keeps its very handle.
    const HidConnection* handle = inUse.connection();
    EXPECT_EQ(findDevice(*setup.hid, inUse, "vid_1209&pid_0001", true), kDeviceInUse);
    EXPECT_EQ(inUse.connection(), handle);
    EXPECT_EQ(openDeviceListPaths().size(), 2u);

    // Without open nothing is opened and the list is left alone.
    CHidDevice other;
    EXPECT_EQ(findDevice(*setup.hid, other, "vid_1209&pid_0001", false), kDeviceOther);
    EXPECT_FALSE(other.isOpen());
    EXPECT_EQ(findDevice(*setup.hid, inUse, "vid_1209&pid_0001", false), kDeviceInUse);
    EXPECT_EQ(findDevice(*setup.hid, other, "vid_1209&pid_0002", false), kDeviceNone);
}

TEST_F(DeviceSearch, MatchingIgnoresCaseButTheDeviceInUseMatchesExactly) {
    ListedHidSystem hid;
    hid.paths = {"\\\\?\\HID#VID_1209&PID_0001#7&1", "\\\\?\\hid#vid_1209&pid_000a#1"};
    CHidDevice inUse;
    EXPECT_EQ(findDevice(hid, inUse, "vid_1209&pid_0001", true), kDeviceOther);
    EXPECT_EQ(inUse.path(), hid.paths[0]); // kept as reported, not lower-cased

    CHidDevice lowered("\\\\?\\hid#vid_1209&pid_0001#7&1", nullptr);
    EXPECT_EQ(findDevice(hid, lowered, "vid_1209&pid_0001", false), kDeviceOther);
}

TEST_F(DeviceSearch, InterfacesThatCannotBeOpenedDoNotCount) {
    ListedHidSystem hid;
    hid.paths = {"/dev/hidraw1?vid_1209&pid_0001&locked"};
    CHidDevice inUse;
    EXPECT_EQ(findDevice(hid, inUse, "vid_1209&pid_0001", true), kDeviceNone);
    EXPECT_FALSE(inUse.isOpen());
    EXPECT_EQ(findDevice(hid, inUse, "vid_1209&pid_0001", false), kDeviceOther);

    hid.paths.push_back("/dev/hidraw2?vid_1209&pid_0001");
    EXPECT_EQ(findDevice(hid, inUse, "vid_1209&pid_0001", true), kDeviceOther);
    EXPECT_EQ(inUse.path(), hid.paths[1]);

    hid.listable = false; // no interface set at all: nothing is present
    EXPECT_EQ(findDevice(hid, inUse, "vid_1209&pid_0001", true), kDeviceNone);
    EXPECT_FALSE(inUse.isOpen());
}

TEST_F(DeviceSearch, InterfacesOpenBeforeStayAtTheFrontOfTheList) {
    ListedHidSystem hid;
    hid.paths = {"b?vid_1209&pid_0001"};
    CHidDevice inUse;
    findDevice(hid, inUse, "vid_1209&pid_0001", true);
    hid.paths = {"a?vid_1209&pid_0001", "c?vid_1209&pid_0001", "b?vid_1209&pid_0001"};
    CHidDevice other;
    EXPECT_EQ(findDevice(hid, other, "vid_1209&pid_0001", true), kDeviceOther);
    EXPECT_EQ(openDeviceListPaths(), (std::vector<std::string>{"b?vid_1209&pid_0001",
                                                               "a?vid_1209&pid_0001",
                                                               "c?vid_1209&pid_0001"}));
    EXPECT_EQ(other.path(), "a?vid_1209&pid_0001"); // first opened by this search
}

TEST_F(DeviceSearch, CopiesOwnTheirOwnHandle) {
    SimulatedSetup setup;
    CHidDevice inUse;
    ASSERT_EQ(findDevice(*setup.hid, inUse, "vid_1209&pid_0001", true), kDeviceOther);
    CHidDevice copy(inUse);
    EXPECT_TRUE(copy.isOpen());
    EXPECT_NE(copy.connection(), inUse.connection());
    inUse.close();
    EXPECT_TRUE(inUse.path().empty());
    EXPECT_TRUE(copy.isOpen());
    uint8_t report[64] = {};
    EXPECT_TRUE(copy.writeReport(report)); // still usable on its own
}

TEST_F(DeviceSearch, IdentityTextsNameTheDevice) {
    SimulatedSetup setup("vid=1234,pid=abcd");
    CFirmwareUpdater& updater = *setup.updater;
    EXPECT_FALSE(updater.devicePresent()); // no file, no identity: never searched

    EXPECT_TRUE(updater.findById("vid_1234&pid_abcd"));
    uint16_t vendorId = 0, productId = 0;
    ASSERT_TRUE(updater.targetIds(vendorId, productId));
    EXPECT_EQ(vendorId, 0x1234);
    EXPECT_EQ(productId, 0xABCD);
    EXPECT_TRUE(updater.explicitIdentity());
    EXPECT_TRUE(updater.device().isOpen());
    EXPECT_TRUE(updater.devicePresent());
    EXPECT_TRUE(updater.findById("HID\\vid_1234&pid_ABCD&rev_0100")); // digits in any case

    for (const char* none : {"VID_1234&PID_ABCD", "pid_abcd", "vid_1234", "vid_&pid_abcd",
                             "vid_12345&pid_abcd", "", "nothing"}) {
        EXPECT_FALSE(updater.findById(none)) << none;
        EXPECT_FALSE(updater.device().isOpen()) << none;
    }
    EXPECT_FALSE(updater.findById(nullptr));
    EXPECT_FALSE(updater.findById("vid_1234&pid_abce"));
}

TEST_F(DeviceSearch, PresenceFollowsTheLoadedFile) {
    SimulatedSetup setup;
    ASSERT_TRUE(setup.load(256));
    EXPECT_TRUE(setup.updater->devicePresent());
    EXPECT_FALSE(setup.updater->device().isOpen()); // presence alone never opens
    setup.hid->unplug(0);
    EXPECT_FALSE(setup.updater->devicePresent());
}
