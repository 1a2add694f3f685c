#include "../support/TempDir.h"

#include "ByteOrder.h"
#include "CFirmwareUpdater.h"
#include "DeviceProtocol.h"
#include "DeviceSearch.h"
#include "PipeDeviceServer.h"
#include "PlatformHid.h"
#include "QfuPacker.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// Lists one named pipe as if it were a HID interface; opening goes through the
// real SetupAPI backend's CreateFileA and overlapped transfers.
// Reports of the right size, without opening the pipe (it serves one client).
HidIoHooks pipeHooks(HidIoHooks hooks = {}) {
    if (!hooks.reportLengths)
        hooks.reportLengths = [](const std::string&, uint16_t& input, uint16_t& output) {
            input = output = kHidTransferSize;
        };
    return hooks;
}

class PipeHidSystem : public SetupApiHidSystem {
public:
    explicit PipeHidSystem(std::string path, const PipeDeviceServer* server = nullptr)
        : SetupApiHidSystem(pipeHooks()), path_(std::move(path)), server_(server) {}
    PipeHidSystem(std::vector<std::string> paths, HidIoHooks hooks)
        : SetupApiHidSystem(pipeHooks(std::move(hooks))), paths_(std::move(paths)), server_(nullptr) {}

protected:
    // Listed while its device is connected, as a HID interface is.
    bool enumerate(std::vector<HidInterface>& interfaces) override {
        interfaces.clear();
        if (!server_ || server_->connected())
            for (const std::string& path : paths_.empty() ? std::vector<std::string>{path_} : paths_)
                interfaces.push_back({path, "", "port-1"});
        return true;
    }

public:
    // Counts the reads that reach the connection.
    HidOpenStatus open(const std::string& path, std::unique_ptr<HidConnection>& connection) override {
        const HidOpenStatus status = SetupApiHidSystem::open(path, connection);
        if (status == HidOpenStatus::Opened)
            connection = std::make_unique<CountingConnection>(std::move(connection), reads);
        return status;
    }

    std::shared_ptr<std::atomic<int>> reads = std::make_shared<std::atomic<int>>(0);

private:
    struct CountingConnection : HidConnection {
        CountingConnection(std::unique_ptr<HidConnection> inner, std::shared_ptr<std::atomic<int>> count)
            : inner_(std::move(inner)), count_(std::move(count)) {}
        std::unique_ptr<HidConnection> duplicate() const override {
            auto copy = inner_->duplicate();
            return copy ? std::make_unique<CountingConnection>(std::move(copy), count_) : nullptr;
        }
        bool write(const uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
            return inner_->write(transfer, timeoutMs);
        }
        bool read(uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
            ++*count_;
            return inner_->read(transfer, timeoutMs);
        }
        int discardInput() override { return inner_->discardInput(); }
        bool claimExclusive() override { return inner_->claimExclusive(); }

        std::unique_ptr<HidConnection> inner_;
        std::shared_ptr<std::atomic<int>> count_;
    };

    std::string path_;
    std::vector<std::string> paths_; // several collections of one unit
    const PipeDeviceServer* server_;
};

void infoRequest(uint8_t (&transfer)[kHidTransferSize]) {
    uint8_t data[kRequestHeaderLength] = {};
    byteorder::writeLe16(data + kRequestVendor, 0x1209);
    byteorder::writeLe16(data + kRequestProduct, 0x0001);
    data[kRequestFixed] = kRequestFixedValue;
    data[kRequestCommand] = CMD_GET_INFO;
    uint8_t report[kReportSize];
    frameReport(report, data, sizeof data);
    transfer[0] = 0;
    std::memcpy(transfer + 1, report, kReportSize);
}

SimulatedDeviceConfig configWith(uint32_t blockSize, int silentAt = -1) {
    SimulatedDeviceConfig config;
    config.blockSize = blockSize;
    config.silentAt = silentAt;
    return config;
}

} // namespace

TEST(Win32Hid, OverlappedTransfersReachThePipeDevice) {
    PipeDeviceServer server(configWith(256));
    ASSERT_TRUE(server.ready());
    SetupApiHidSystem hid;
    std::unique_ptr<HidConnection> connection;
    ASSERT_EQ(hid.open(server.path(), connection), HidOpenStatus::Opened);

    uint8_t transfer[kHidTransferSize];
    infoRequest(transfer);
    ASSERT_TRUE(connection->write(transfer, 2000));
    uint8_t reply[kHidTransferSize] = {};
    ASSERT_TRUE(connection->read(reply, 2000));
    uint8_t report[kReportSize];
    std::memcpy(report, reply + 1, kReportSize);
    EXPECT_TRUE(reportWellFormed(report));
    EXPECT_EQ(byteorder::readLe32(report + kResponseBlockSize), 256u);
}

TEST(Win32Hid, ATimedOutReadIsCancelledAndTheHandleStaysUsable) {
    PipeDeviceServer server(configWith(256));
    ASSERT_TRUE(server.ready());
    SetupApiHidSystem hid;
    std::unique_ptr<HidConnection> connection;
    ASSERT_EQ(hid.open(server.path(), connection), HidOpenStatus::Opened);

    uint8_t reply[kHidTransferSize];
    std::memset(reply, 0x5A, sizeof reply);
    const auto start = Clock::now();
    EXPECT_FALSE(connection->read(reply, 200)); // nothing was asked: no answer
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
    EXPECT_EQ(reply[1], 0x5A); // the caller's buffer is untouched

    uint8_t transfer[kHidTransferSize];
    infoRequest(transfer);
    ASSERT_TRUE(connection->write(transfer, 2000));
    ASSERT_TRUE(connection->read(reply, 2000));
    EXPECT_EQ(reply[1], kReportMarker);

    std::unique_ptr<HidConnection> copy = connection->duplicate();
    ASSERT_TRUE(copy);
    connection.reset();
    ASSERT_TRUE(copy->write(transfer, 2000));
    EXPECT_TRUE(copy->read(reply, 2000));
}

TEST(Win32Hid, AWholeUpdateRunsOverOverlappedIo) {
    PipeDeviceServer server(configWith(128));
    ASSERT_TRUE(server.ready());
    TempDir dir;
    qfu::PackOptions options;
    options.image = qfu::randomImage(1024, 5);
    const std::string file = dir.write("u.qfu", qfu::pack(options));
    CFirmwareUpdater updater(std::make_shared<PipeHidSystem>(server.path()));
    ASSERT_TRUE(updater.loadFile(file.c_str()));
    std::atomic<int> progress{0};
    EXPECT_TRUE(updater.runUpdate(progress));
    EXPECT_EQ(progress.load(), 100);
    EXPECT_EQ(server.reportsReceived(), 1 + 8 * (1 + 3));
    updater.teardown();
    closeOpenDeviceList();
}

TEST(Win32Hid, ASilentDeviceFailsTheUpdateAfterTheResponseTime) {
    PipeDeviceServer server(configWith(128, 0));
    ASSERT_TRUE(server.ready());
    TempDir dir;
    qfu::PackOptions options;
    options.image = qfu::randomImage(256, 5);
    const std::string file = dir.write("u.qfu", qfu::pack(options));
    CFirmwareUpdater updater(std::make_shared<PipeHidSystem>(server.path()));
    ASSERT_TRUE(updater.loadFile(file.c_str()));
    std::atomic<int> progress{0};
    const auto start = Clock::now();
    EXPECT_FALSE(updater.runUpdate(progress));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1900));
    updater.teardown();
    closeOpenDeviceList();
}

// The device stops taking reports after the information request: the start of block
// 0 stays pending, ends failed at its limit (never counted as sent) and the run
// fails. Once the device reads again, the next run starts clean and the device ends
// with the whole image.
TEST(Win32Hid, AWriteTheDeviceNeverTakesEndsAtItsLimitAndTheNextRunStartsClean) {
    TempDir dir;
    SimulatedDeviceConfig config = configWith(128);
    config.savePath = dir.file("flash.bin");
    PipeDeviceServer server(config, -1, 1);
    ASSERT_TRUE(server.ready());
    qfu::PackOptions options;
    options.image = qfu::randomImage(512, 5);
    const std::string file = dir.write("u.qfu", qfu::pack(options));
    CFirmwareUpdater updater(std::make_shared<PipeHidSystem>(server.path()));
    ASSERT_TRUE(updater.loadFile(file.c_str()));
    std::atomic<int> progress{0};
    auto start = Clock::now();
    EXPECT_FALSE(updater.runUpdate(progress));
    const auto took = Clock::now() - start;
    EXPECT_EQ(updater.lastFailure().text(), "device took no report within 2 s at block 0");
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::milliseconds(5000)); // its own 2 s, and the close request's
    EXPECT_EQ(server.reportsReceived(), 1);

    server.resumeReading();
    EXPECT_TRUE(updater.runUpdate(progress)) << updater.lastFailure().text();
    EXPECT_EQ(TempDir::read(config.savePath), options.image);
    updater.teardown();
    closeOpenDeviceList();
}

TEST(Win32Hid, TheSystemSearchRunsCleanlyWithNoMatchingDevice) {
    SetupApiHidSystem hid;
    std::vector<std::string> paths;
    hid.listPaths(paths);
    for (const std::string& path : paths)
        EXPECT_EQ(path.find("vid_1209&pid_0001"), std::string::npos) << path;
    CHidDevice inUse;
    EXPECT_EQ(findDevice(hid, inUse, "vid_1209&pid_0001", true), kDeviceNone);
    EXPECT_FALSE(inUse.isOpen());
    EXPECT_TRUE(openDeviceListPaths().empty());
}

// What each error of an open means: another program's hold is "busy", a device the
// system keeps or that needs rights is denied (no other program to close), one
// unplugged since the listing is gone.
TEST(Win32Hid, OpenErrorsAreTheirOwnCauses) {
    const std::pair<unsigned long, HidOpenStatus> outcomes[] = {
        {ERROR_SHARING_VIOLATION, HidOpenStatus::Busy},
        {ERROR_ACCESS_DENIED, HidOpenStatus::PermissionDenied},
        {ERROR_FILE_NOT_FOUND, HidOpenStatus::Gone},
        {ERROR_DEVICE_NOT_CONNECTED, HidOpenStatus::Gone},
        {ERROR_GEN_FAILURE, HidOpenStatus::Failed},
    };
    for (const auto& [error, status] : outcomes)
        EXPECT_EQ(SetupApiHidSystem::openStatusOf(error), status) << error;
    EXPECT_STREQ(hidAccessDeniedCause(), "access denied by the system");
    for (const std::string& line : hidAccessAdvice("\\\\?\\hid#x", 0x1209, 1))
        EXPECT_EQ(line.find("Close"), std::string::npos) << line;

    // A file that is not there, opened as an interface: gone.
    SetupApiHidSystem hid;
    std::unique_ptr<HidConnection> connection;
    EXPECT_EQ(hid.open("C:\\no-such-folder\\no-such-device", connection), HidOpenStatus::Gone);
}

// A claim is a named mutex of the interface's path: the first open that claims
// holds it with its copies, every other open (of any process) is refused until
// all of those are closed. A plain file stands in for the interface here.
TEST(Win32Hid, AClaimHoldsTheInterfaceAgainstEveryOtherOpen) {
    TempDir dir;
    const std::string path = dir.write("interface-vid_1209&pid_0001", {0});
    SetupApiHidSystem hid;
    std::unique_ptr<HidConnection> first, second;
    ASSERT_EQ(hid.open(path, first), HidOpenStatus::Opened);
    ASSERT_EQ(hid.open(path, second), HidOpenStatus::Opened);
    ASSERT_TRUE(first->claimExclusive());
    EXPECT_FALSE(second->claimExclusive());
    std::unique_ptr<HidConnection> copy = first->duplicate();
    ASSERT_TRUE(copy);
    first.reset();
    EXPECT_FALSE(second->claimExclusive()); // the copy still holds it
    copy.reset();
    EXPECT_TRUE(second->claimExclusive());
}

// The device goes away while the acknowledgement of block 0 is awaited: the pending
// read completes with an error, which is a device gone, not an empty report taken
// for one with a bad checksum, and not a reason to spin on reads until the limit.
TEST(Win32Hid, ADisconnectDuringAPendingReadIsADeviceGone) {
    PipeDeviceServer server(configWith(128), 1 + 1 + 3); // information, block 0's start and packets
    ASSERT_TRUE(server.ready());
    TempDir dir;
    qfu::PackOptions options;
    options.image = qfu::randomImage(256, 5);
    const std::string file = dir.write("u.qfu", qfu::pack(options));
    auto hid = std::make_shared<PipeHidSystem>(server.path(), &server);
    CFirmwareUpdater updater(hid);
    ASSERT_TRUE(updater.loadFile(file.c_str()));
    std::atomic<int> progress{0};
    const auto start = Clock::now();
    EXPECT_FALSE(updater.runUpdate(progress));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(updater.lastFailure().text(), "device gone at block 0");
    EXPECT_LE(hid->reads->load(), 1 + 2 * 4 + 4); // discards before each request, then a few
    updater.teardown();
    closeOpenDeviceList();
}

// A driver that never gives a cancelled read back: the read still ends at its limit
// plus a bounded wait, its buffer is parked, and the connection goes on.
TEST(Win32Hid, ACancelTheDriverNeverCompletesIsParkedNotWaitedFor) {
    PipeDeviceServer server(configWith(256));
    ASSERT_TRUE(server.ready());
    SetupApiHidSystem hid(HidIoHooks{[](void*, void*) {}});
    std::unique_ptr<HidConnection> connection;
    ASSERT_EQ(hid.open(server.path(), connection), HidOpenStatus::Opened);
    const size_t parkedBefore = parkedHidTransfers();
    uint8_t reply[kHidTransferSize];
    const auto start = Clock::now();
    EXPECT_FALSE(connection->read(reply, 200));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(190));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
    EXPECT_EQ(parkedHidTransfers(), parkedBefore + 1);

    // The parked read takes the next reply when it comes; the connection's own
    // transfers use records of their own.
    uint8_t transfer[kHidTransferSize];
    infoRequest(transfer);
    EXPECT_TRUE(connection->write(transfer, 2000));
    const auto closing = Clock::now();
    connection.reset();
    EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(500));
}

// Windows lists a collection of its own for each kind of report a device has; one
// unit with three, only the second of which has 65-byte reports both ways: the
// update goes through the second, the others get nothing.
TEST(Win32Hid, OfSeveralCollectionsOnlyTheOneWithTheRightReportsIsUpdated) {
    std::vector<std::unique_ptr<PipeDeviceServer>> servers;
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        servers.push_back(std::make_unique<PipeDeviceServer>(configWith(128)));
        ASSERT_TRUE(servers.back()->ready());
        paths.push_back(servers.back()->path());
    }
    HidIoHooks hooks;
    hooks.reportLengths = [right = paths[1]](const std::string& path, uint16_t& input, uint16_t& output) {
        input = path == right ? 65 : 9;
        output = path == right ? 65 : 2;
    };
    auto hid = std::make_shared<PipeHidSystem>(paths, hooks);
    std::vector<HidInterface> listed;
    ASSERT_TRUE(hid->listInterfaces(listed));
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_FALSE(listed[0].carriesUpdates());
    EXPECT_TRUE(listed[1].carriesUpdates());

    TempDir dir;
    qfu::PackOptions options;
    options.image = qfu::randomImage(256, 5);
    CFirmwareUpdater updater(hid);
    ASSERT_TRUE(updater.loadFile(dir.write("u.qfu", qfu::pack(options)).c_str()));
    std::atomic<int> progress{0};
    EXPECT_TRUE(updater.runUpdate(progress)) << updater.lastFailure().text();
    EXPECT_EQ(servers[0]->reportsReceived(), 0);
    EXPECT_GT(servers[1]->reportsReceived(), 0);
    EXPECT_EQ(servers[2]->reportsReceived(), 0);
    updater.teardown();
    closeOpenDeviceList();
}
