#include "../support/TempDir.h"

#include "CFirmwareUpdater.h"
#include "DeviceSearch.h"
#include "PlatformHid.h"
#include "QfuPacker.h"
#include "SimulatedDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A fake sysfs tree and device nodes that are socket pairs: the test holds the
// device's end of each.
class Hidraw : public ::testing::Test {
protected:
    void SetUp() override {
        addNode("hidraw0", "HID_ID=0003:00001209:0000000A");
        addNode("hidraw1", "HID_ID=0003:00001209:00000001");
        addNode("hidraw10", "HID_ID=0003:00001209:00000001");
        addNode("hidraw2", "HID_NAME=no id here");
        addNode("hidraw3", "HID_ID=0003:00001209:00000001");
        denied.insert({"/dev/hidraw3", EACCES});

        HidrawSystem::Options options;
        options.sysfsRoot = dir.file("sys");
        options.devRoot = "/dev";
        options.openNode = [this](const std::string& node) {
            auto refusal = denied.find(node);
            if (refusal != denied.end()) {
                errno = refusal->second;
                return -1;
            }
            int ends[2];
            if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
                return -1;
            deviceEnds[node] = ends[1];
            return ends[0];
        };
        hid = std::make_shared<HidrawSystem>(options);
    }

    void TearDown() override {
        closeOpenDeviceList();
        for (auto& [node, fd] : deviceEnds)
            ::close(fd);
    }

    void addNode(const std::string& name, const std::string& hidId) {
        const std::string folder = dir.file("sys/" + name + "/device");
        std::filesystem::create_directories(folder);
        const std::string uevent = "DRIVER=hid-generic\n" + hidId + "\nHID_PHYS=usb-0000\n";
        dir.write("sys/" + name + "/device/uevent",
                  std::vector<uint8_t>(uevent.begin(), uevent.end()));
    }

    TempDir dir;
    std::map<std::string, int> denied;
    std::map<std::string, int> deviceEnds;
    std::shared_ptr<HidrawSystem> hid;
};

} // namespace

TEST_F(Hidraw, ListsNodesInNumericOrderWithTheirIds) {
    std::vector<std::string> paths;
    ASSERT_TRUE(hid->listPaths(paths));
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "/dev/hidraw0?vid_1209&pid_000a", "/dev/hidraw1?vid_1209&pid_0001",
                         "/dev/hidraw3?vid_1209&pid_0001", "/dev/hidraw10?vid_1209&pid_0001"}));

    HidrawSystem missing(HidrawSystem::Options{dir.file("nothing"), "/dev", nullptr});
    EXPECT_FALSE(missing.listPaths(paths));
    EXPECT_TRUE(paths.empty());
}

TEST_F(Hidraw, SearchMatchesAndSkipsNodesThatCannotBeOpened) {
    CHidDevice inUse;
    EXPECT_EQ(findDevice(*hid, inUse, "vid_1209&pid_0001", true), kDeviceOther);
    EXPECT_EQ(inUse.path(), "/dev/hidraw1?vid_1209&pid_0001");
    EXPECT_EQ(openDeviceListPaths(), (std::vector<std::string>{"/dev/hidraw1?vid_1209&pid_0001",
                                                               "/dev/hidraw10?vid_1209&pid_0001"}));

    std::unique_ptr<HidConnection> connection;
    EXPECT_EQ(hid->open("/dev/hidraw3?vid_1209&pid_0001", connection),
              HidOpenStatus::PermissionDenied);
    denied["/dev/hidraw3"] = ENOENT;
    EXPECT_EQ(hid->open("/dev/hidraw3?vid_1209&pid_0001", connection), HidOpenStatus::Failed);
    EXPECT_FALSE(connection);
}

TEST_F(Hidraw, ReportsCrossWithTheReportIdOnlyOnWrites) {
    std::unique_ptr<HidConnection> connection;
    ASSERT_EQ(hid->open("/dev/hidraw1?vid_1209&pid_0001", connection), HidOpenStatus::Opened);
    const int device = deviceEnds.at("/dev/hidraw1");

    uint8_t out[kHidTransferSize] = {0};
    for (size_t i = 1; i < kHidTransferSize; ++i)
        out[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(connection->write(out, 100));
    uint8_t received[128];
    ASSERT_EQ(::read(device, received, sizeof received), 65);
    EXPECT_EQ(std::memcmp(received, out, 65), 0);

    uint8_t reply[64];
    std::memset(reply, 0xA5, sizeof reply);
    ASSERT_EQ(::write(device, reply, sizeof reply), 64);
    uint8_t in[kHidTransferSize];
    std::memset(in, 0x11, sizeof in);
    ASSERT_TRUE(connection->read(in, 100));
    EXPECT_EQ(in[0], 0);
    EXPECT_EQ(std::memcmp(in + 1, reply, 64), 0);

    // A copy is an independent descriptor on the same node.
    std::unique_ptr<HidConnection> copy = connection->duplicate();
    ASSERT_TRUE(copy);
    connection.reset();
    ASSERT_EQ(::write(device, reply, sizeof reply), 64);
    EXPECT_TRUE(copy->read(in, 100));
}

TEST_F(Hidraw, ReadsTimeOutAndFailWhenTheDeviceGoes) {
    std::unique_ptr<HidConnection> connection;
    ASSERT_EQ(hid->open("/dev/hidraw1?vid_1209&pid_0001", connection), HidOpenStatus::Opened);
    uint8_t in[kHidTransferSize];
    std::memset(in, 0x77, sizeof in);
    const auto start = Clock::now();
    EXPECT_FALSE(connection->read(in, 80));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(75));
    EXPECT_EQ(in[1], 0x77); // untouched on failure

    ::close(deviceEnds.at("/dev/hidraw1"));
    deviceEnds.erase("/dev/hidraw1");
    const auto unplugged = Clock::now();
    EXPECT_FALSE(connection->read(in, 2000));
    uint8_t out[kHidTransferSize] = {0};
    EXPECT_FALSE(connection->write(out, 2000));
    EXPECT_LT(Clock::now() - unplugged, std::chrono::milliseconds(1000));
}

TEST_F(Hidraw, AWholeUpdateRunsOverTheNode) {
    SimulatedDeviceConfig config;
    config.blockSize = 128;
    qfu::PackOptions options;
    options.image = qfu::randomImage(1024, 8);
    const std::string file = dir.write("u.qfu", qfu::pack(options));
    CFirmwareUpdater updater(hid);
    ASSERT_TRUE(updater.loadFile(file.c_str()));
    ASSERT_TRUE(updater.findById("vid_1209&pid_0001")); // opens hidraw1, sends nothing
    ASSERT_EQ(updater.device().path(), "/dev/hidraw1?vid_1209&pid_0001");
    const int device = deviceEnds.at("/dev/hidraw1");

    std::atomic<bool> stop{false};
    std::vector<uint8_t> stored;
    std::thread serve([&] {
        SimulatedDevice simulated(config);
        uint8_t message[kHidTransferSize];
        while (!stop) {
            const ssize_t got = ::recv(device, message, sizeof message, MSG_DONTWAIT);
            if (got != static_cast<ssize_t>(sizeof message)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            uint8_t report[kReportSize];
            std::memcpy(report, message + 1, kReportSize);
            const SimulatedDevice::Outcome outcome = simulated.receive(report);
            if (outcome.replied)
                ::send(device, outcome.reply, kReportSize, 0);
        }
        stored = simulated.image();
    });
    std::atomic<int> progress{0};
    const bool ok = updater.runUpdate(progress);
    stop = true;
    serve.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(stored, options.image);
}

TEST(HidrawAccess, TheAdviceGivesTheUdevRuleForTheDevice) {
    const std::vector<std::string> advice =
        hidAccessAdvice("/dev/hidraw5?vid_1209&pid_00ab", 0x1209, 0x00AB);
    ASSERT_FALSE(advice.empty());
    EXPECT_NE(advice[0].find("/dev/hidraw5 (permission denied)"), std::string::npos) << advice[0];
    EXPECT_EQ(advice.back(), "SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"1209\", "
                             "ATTRS{idProduct}==\"00ab\", TAG+=\"uaccess\"");
}
