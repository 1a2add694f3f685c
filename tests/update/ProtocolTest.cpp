#include "../support/SimulatedSetup.h"

#include "ByteOrder.h"
#include "Checksums.h"
#include "DeviceProtocol.h"
#include "DeviceSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using Request = SimulatedDevice::Request;

class Protocol : public ::testing::Test {
protected:
    void TearDown() override { closeOpenDeviceList(); }
    std::atomic<int> progress{-1};
};

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

size_t countCommand(const std::vector<Request>& requests, uint8_t command) {
    size_t count = 0;
    for (const Request& request : requests)
        count += request.command == command;
    return count;
}

} // namespace

TEST_F(Protocol, ReportsAreFramedWithAChecksumThatZeroesTheSum) {
    const uint8_t data[3] = {0x10, 0x20, 0x30};
    uint8_t report[kReportSize];
    std::memset(report, 0xEE, sizeof report);
    frameReport(report, data, sizeof data);
    EXPECT_EQ(report[0], 0xFF);
    EXPECT_EQ(report[1], 3);
    EXPECT_EQ(report[2], 0x10);
    EXPECT_EQ(report[4], 0x30);
    EXPECT_EQ(report[5], 0); // the rest is cleared
    unsigned sum = 0;
    for (uint8_t byte : report)
        sum += byte;
    EXPECT_EQ(sum % 256, 0u);
    EXPECT_TRUE(reportWellFormed(report));
    report[10] ^= 1;
    EXPECT_FALSE(reportWellFormed(report));
    report[10] ^= 1;
    report[0] = 0xFE;
    report[63] = reportChecksum(report);
    EXPECT_FALSE(reportWellFormed(report)); // right sum, wrong marker
}

TEST_F(Protocol, BlocksOf256AreFivePacketsOf48AndAFinal16) {
    SimulatedSetup setup("block=256");
    ASSERT_TRUE(setup.load(1024));
    int progressAfterFirstPacket = -1;
    setup.hid->setObserver([&](size_t, const Request& request) {
        if (request.command == CMD_BLOCK_DATA && request.packetIndex == 1 &&
            progressAfterFirstPacket < 0)
            progressAfterFirstPacket = progress.load();
    });
    ASSERT_TRUE(setup.updater->runUpdate(progress));
    EXPECT_EQ(progress.load(), 100);
    EXPECT_EQ(progressAfterFirstPacket, 4); // 100 - 976/1024*100 = 4.69, truncated

    const std::vector<Request> requests = setup.requests();
    ASSERT_EQ(requests.size(), 1u + 4 * 7);
    EXPECT_EQ(requests[0].command, CMD_GET_INFO);
    for (uint16_t block = 0; block < 4; ++block) {
        const Request* r = &requests[1 + block * 7];
        EXPECT_EQ(r[0].command, CMD_BLOCK_START);
        EXPECT_EQ(r[0].blockIndex, block);
        EXPECT_EQ(r[0].lastBlockIndex, 3);
        EXPECT_EQ(r[0].blockCrc, blockCrc(&setup.image[block * 256u], 64));
        for (uint16_t packet = 0; packet < 5; ++packet) {
            EXPECT_EQ(r[1 + packet].command, CMD_BLOCK_DATA);
            EXPECT_EQ(r[1 + packet].packetIndex, packet);
            EXPECT_EQ(r[1 + packet].payloadLength, 48);
            EXPECT_EQ(r[1 + packet].length, 11 + 48);
        }
        EXPECT_EQ(r[6].packetIndex, kFinalPacketIndex);
        EXPECT_EQ(r[6].payloadLength, 16);
    }
    EXPECT_EQ(setup.storedImage(), setup.image);
}

TEST_F(Protocol, BlocksOf48AreSingleFinalPackets) {
    SimulatedSetup setup("block=48");
    ASSERT_TRUE(setup.load(480));
    ASSERT_TRUE(setup.updater->runUpdate(progress));
    const std::vector<Request> requests = setup.requests();
    EXPECT_EQ(countCommand(requests, CMD_BLOCK_START), 10u);
    EXPECT_EQ(countCommand(requests, CMD_BLOCK_DATA), 10u);
    for (const Request& request : requests)
        if (request.command == CMD_BLOCK_DATA) {
            EXPECT_EQ(request.packetIndex, kFinalPacketIndex);
            EXPECT_EQ(request.payloadLength, 48);
        }
    EXPECT_EQ(setup.storedImage(), setup.image);
}

TEST_F(Protocol, TheDeviceInformationIsLearntOncePerOpening) {
    SimulatedSetup setup("hw=2.1.03,fw=1.0.07,block=64");
    ASSERT_TRUE(setup.load(128));
    CFirmwareUpdater& updater = *setup.updater;
    EXPECT_EQ(updater.firmwareVersion().major, 0xFF);
    EXPECT_EQ(updater.blockSize(), 0u);
    ASSERT_TRUE(updater.queryInfo());
    EXPECT_TRUE(updater.device().isOpen());
    EXPECT_EQ(updater.hardwareVersion(), (FirmwareVersion{2, 1, 3}));
    EXPECT_EQ(updater.firmwareVersion(), (FirmwareVersion{1, 0, 7}));
    EXPECT_EQ(updater.blockSize(), 64u);
    ASSERT_TRUE(updater.queryInfo());
    EXPECT_EQ(countCommand(setup.requests(), CMD_GET_INFO), 1u);

    updater.closeDevice(); // closed: asked again, after a reset
    ASSERT_TRUE(updater.queryInfo());
    EXPECT_EQ(countCommand(setup.requests(), CMD_GET_INFO), 2u);

    updater.sendClose(); // no answer is awaited
    EXPECT_EQ(setup.requests().back().command, CMD_CLOSE);
}

TEST_F(Protocol, BlockSizeZeroLeavesTheDevicePresentButNotReady) {
    SimulatedSetup setup("block=0");
    ASSERT_TRUE(setup.load(256));
    EXPECT_FALSE(setup.updater->queryInfo());
    EXPECT_TRUE(setup.updater->devicePresent());
    EXPECT_FALSE(setup.updater->runUpdate(progress));
    EXPECT_EQ(countCommand(setup.requests(), CMD_BLOCK_START), 0u);
}

TEST_F(Protocol, ADeviceWithoutFirmwareCanStillBeUpdated) {
    SimulatedSetup setup("fw=none,block=64");
    ASSERT_TRUE(setup.load(256));
    ASSERT_TRUE(setup.updater->queryInfo());
    EXPECT_EQ(setup.updater->firmwareVersion().major, kNoFirmwareMajor);
    EXPECT_TRUE(setup.updater->runUpdate(progress));
}

TEST_F(Protocol, AnEmptyImageIsNeverReportedAsAnUpdate) {
    SimulatedSetup setup;
    EXPECT_FALSE(setup.load(0));
    EXPECT_FALSE(setup.updater->runUpdate(progress));
    EXPECT_EQ(countCommand(setup.requests(), CMD_BLOCK_START), 0u);
}

TEST_F(Protocol, RefusedOrBrokenAcknowledgementsFailTheUpdate) {
    SimulatedSetup nak("block=64,nak-at=2");
    ASSERT_TRUE(nak.load(512));
    EXPECT_FALSE(nak.updater->runUpdate(progress));
    EXPECT_EQ(countCommand(nak.requests(), CMD_BLOCK_START), 3u); // stopped at block 2

    // A reply with a wrong checksum is ignored until the response time is up.
    SimulatedSetup broken("block=64,bad-checksum-at=0");
    ASSERT_TRUE(broken.load(128));
    const auto start = Clock::now();
    EXPECT_FALSE(broken.updater->runUpdate(progress));
    EXPECT_GE(millisecondsSince(start), 1900);
    EXPECT_EQ(countCommand(broken.requests(), CMD_BLOCK_START), 1u);
}

TEST_F(Protocol, AFaultGivenOnceOnlyHitsTheFirstAttempt) {
    SimulatedSetup setup("block=64,nak-at=1,once");
    ASSERT_TRUE(setup.load(256));
    EXPECT_FALSE(setup.updater->runUpdate(progress));
    EXPECT_TRUE(setup.updater->runUpdate(progress)); // again from block 0
    EXPECT_EQ(setup.storedImage(), setup.image);
}

TEST_F(Protocol, UnplugMidTransferFailsWithinAboutTwoSecondsAndCancels) {
    SimulatedSetup setup("block=64,unplug-at=1");
    ASSERT_TRUE(setup.load(256));
    const auto start = Clock::now();
    EXPECT_FALSE(setup.updater->runUpdate(progress));
    const long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 4500);
    EXPECT_GE(setup.hid->cancelledTransfers(0), 1);
    EXPECT_FALSE(setup.hid->present(0));
    EXPECT_GT(progress.load(), 0);
    EXPECT_LT(progress.load(), 100);
}

TEST_F(Protocol, ImagesTheCountersCannotCarryAreRefusedBeforeAnyBlock) {
    struct Case {
        const char* config;
        size_t imageSize;
        bool succeeds;
    };
    const Case cases[] = {
        {"block=256", 1000, false},   // not whole blocks: the last CRC would read past the image
        {"block=65536", 65536, false}, // block size beyond 16 bits
        {"block=4", 262144, false},   // 65536 blocks
        {"block=4", 262140, true},    // 65535 blocks is the most
        {"block=50", 100, true},      // odd block size: CRC over whole words only
    };
    for (const Case& c : cases) {
        SimulatedSetup setup(c.config);
        ASSERT_TRUE(setup.load(c.imageSize)) << c.config;
        EXPECT_EQ(setup.updater->runUpdate(progress), c.succeeds) << c.config;
        if (!c.succeeds)
            EXPECT_EQ(countCommand(setup.requests(), CMD_BLOCK_START), 0u) << c.config;
        else
            EXPECT_EQ(setup.storedImage(), setup.image) << c.config;
        closeOpenDeviceList();
    }
}

TEST_F(Protocol, NothingHappensWithoutAFileOrIdentity) {
    SimulatedSetup setup;
    EXPECT_FALSE(setup.updater->queryInfo());
    EXPECT_FALSE(setup.updater->runUpdate(progress));
    EXPECT_TRUE(setup.requests().empty());
    // With an identity alone the device can be asked for its information.
    ASSERT_TRUE(setup.updater->findById("vid_1209&pid_0001"));
    EXPECT_TRUE(setup.updater->queryInfo());
}

TEST_F(Protocol, AfterAnUpdateTheDeviceRestartsWithItsNewFirmware) {
    SimulatedSetup setup("fw=1.0.00,block=64");
    std::vector<uint8_t> image = qfu::randomImage(256, 4);
    qfu::stampVersion(image, FirmwareVersion{1, 2, 3});
    ASSERT_TRUE(setup.updater->loadFile(setup.makeFile(image).c_str()));
    ASSERT_TRUE(setup.updater->runUpdate(progress));
    auto waitFor = [&](bool present) {
        const auto start = Clock::now();
        while (setup.hid->present(0) != present && millisecondsSince(start) < 3000)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return setup.hid->present(0) == present;
    };
    ASSERT_TRUE(waitFor(false)); // restarting
    const auto away = Clock::now();
    ASSERT_TRUE(waitFor(true));
    EXPECT_GE(millisecondsSince(away), 800);
    setup.updater->closeDevice();
    ASSERT_TRUE(setup.updater->queryInfo());
    EXPECT_EQ(setup.updater->firmwareVersion(), (FirmwareVersion{1, 2, 3}));
}

TEST_F(Protocol, AMalformedReplyDoesNotExtendTheResponseTime) {
    // Answers the first read late with garbage, then stays silent; records the limit
    // each read was given.
    struct LateGarbage : HidConnection {
        std::unique_ptr<HidConnection> duplicate() const override {
            auto copy = std::make_unique<LateGarbage>();
            copy->limits = limits;
            return copy;
        }
        bool write(const uint8_t (&)[kHidTransferSize], int) override { return true; }
        int discardInput() override { return 0; }
        bool claimExclusive() override { return true; }
        bool read(uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
            limits->push_back(timeoutMs);
            if (limits->size() == 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                std::memset(transfer, 0x5A, kHidTransferSize);
                return true;
            }
            return false;
        }
        std::vector<int>* limits = nullptr;
    };
    struct OneDevice : HidSystem {
        bool listInterfaces(std::vector<HidInterface>& paths) override {
            paths = {{"/dev/hidraw0?vid_1209&pid_0001"}};
            return true;
        }
        HidOpenStatus open(const std::string&, std::unique_ptr<HidConnection>& connection) override {
            auto device = std::make_unique<LateGarbage>();
            device->limits = &limits;
            connection = std::move(device);
            return HidOpenStatus::Opened;
        }
        std::vector<int> limits;
    };
    auto hid = std::make_shared<OneDevice>();
    CFirmwareUpdater updater(hid);
    ASSERT_TRUE(updater.findById("vid_1209&pid_0001"));
    EXPECT_FALSE(updater.queryInfo());
    ASSERT_GE(hid->limits.size(), 2u);
    EXPECT_GE(hid->limits[0], CHidDevice::kTransferTimeoutMs - 100);
    // After 500 ms spent on the garbage, no read may wait the whole time again.
    EXPECT_LE(*std::max_element(hid->limits.begin() + 1, hid->limits.end()),
              CHidDevice::kTransferTimeoutMs - 400);
}
