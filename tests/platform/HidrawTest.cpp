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
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    // Each error the node can give, in one table: what it means for the cause shown.
    const std::pair<int, HidOpenStatus> outcomes[] = {
        {EPERM, HidOpenStatus::PermissionDenied}, {EBUSY, HidOpenStatus::Busy},
        {ENOENT, HidOpenStatus::Gone},            {ENODEV, HidOpenStatus::Gone},
        {EIO, HidOpenStatus::Failed},
    };
    for (const auto& [error, status] : outcomes) {
        denied["/dev/hidraw3"] = error;
        EXPECT_EQ(hid->open("/dev/hidraw3?vid_1209&pid_0001", connection), status) << error;
        EXPECT_FALSE(connection);
    }
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

// Device nodes that are FIFOs, so that they can be opened and locked like real
// nodes, and what was written to them read back.
TEST(HidrawUnits, NodesNameTheirUnitAndAnUpdaterHoldsItsNodeAgainstOthers) {
    TempDir dir;
    auto addNode = [&](const std::string& name, const std::string& uevent) {
        std::filesystem::create_directories(dir.file("sys/" + name + "/device"));
        dir.write("sys/" + name + "/device/uevent", std::vector<uint8_t>(uevent.begin(), uevent.end()));
        std::filesystem::create_directories(dir.file("dev"));
        ASSERT_EQ(::mkfifo(dir.file("dev/" + name).c_str(), 0600), 0);
    };
    addNode("hidraw0", "HID_ID=0003:00001209:00000001\nHID_PHYS=usb-0000:00:14.0-1.2/input0\nHID_UNIQ=SN-7\n");
    addNode("hidraw1", "HID_ID=0003:00001209:00000001\nHID_PHYS=usb-0000:00:14.0-1.2/input1\nHID_UNIQ=SN-7\n");
    addNode("hidraw2", "HID_UNIQ=\nHID_ID=0003:00001209:00000002\nHID_PHYS=usb-0000:00:14.0-3/input0\n");
    auto hid = std::make_shared<HidrawSystem>(HidrawSystem::Options{dir.file("sys"), dir.file("dev"), nullptr});

    std::vector<HidInterface> listed;
    ASSERT_TRUE(hid->listInterfaces(listed));
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].serial, "SN-7");
    EXPECT_EQ(listed[0].location, "usb-0000:00:14.0-1.2");
    EXPECT_TRUE(listed[0].sameUnit(listed[1])); // two interfaces of one unit
    EXPECT_EQ(listed[2].serial, "");
    EXPECT_EQ(listed[2].location, "usb-0000:00:14.0-3");
    EXPECT_EQ(listed[2].unitText(), "port usb-0000:00:14.0-3");

    // Another process holds hidraw2 as an updater does.
    const std::string node = dir.file("dev/hidraw2");
    const int watch = ::open(node.c_str(), O_RDWR | O_NONBLOCK); // keeps what is written
    ASSERT_GE(watch, 0);
    int held[2], release[2];
    ASSERT_EQ(::pipe(held), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK);
        const char locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        (void)!::write(held[1], &locked, 1);
        char any;
        (void)!::read(release[0], &any, 1);
        ::_exit(0);
    }
    char locked = 0;
    ASSERT_EQ(::read(held[0], &locked, 1), 1);
    ASSERT_EQ(locked, 'y');

    CFirmwareUpdater updater(hid);
    EXPECT_FALSE(updater.findById("vid_1209&pid_0002"));
    EXPECT_FALSE(updater.queryInfo());
    EXPECT_EQ(updater.lastFailure().kind, UpdateFailure::Kind::InUse);
    uint8_t written[128];
    EXPECT_LT(::read(watch, written, sizeof written), 0); // not one byte was sent
    EXPECT_EQ(errno, EAGAIN);

    ASSERT_EQ(::write(release[1], "x", 1), 1);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_TRUE(updater.findById("vid_1209&pid_0002")); // free once the other is gone
    // ...and now this process holds it against any other open of the node.
    std::unique_ptr<HidConnection> other;
    ASSERT_EQ(hid->open(dir.file("dev/hidraw2") + "?vid_1209&pid_0002", other), HidOpenStatus::Opened);
    EXPECT_FALSE(other->claimExclusive());
    EXPECT_TRUE(updater.device().connection()->duplicate()->claimExclusive()); // its own copies share it

    // The nodes of SN-7 taken over by another unit: not the device in use any more.
    CFirmwareUpdater first(hid);
    ASSERT_TRUE(first.findById("vid_1209&pid_0001"));
    EXPECT_EQ(first.device().path(), dir.file("dev/hidraw0") + "?vid_1209&pid_0001");
    EXPECT_TRUE(first.devicePresent());
    for (const char* name : {"hidraw0", "hidraw1"}) {
        const std::string uevent = "HID_ID=0003:00001209:00000001\nHID_UNIQ=SN-8\n";
        dir.write(std::string("sys/") + name + "/device/uevent",
                  std::vector<uint8_t>(uevent.begin(), uevent.end()));
    }
    EXPECT_FALSE(first.devicePresent());

    for (int fd : {watch, held[0], held[1], release[0], release[1]})
        ::close(fd);
    closeOpenDeviceList();
}
