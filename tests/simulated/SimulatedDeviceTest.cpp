#include "../support/SimulatedSetup.h"

#include "ByteOrder.h"
#include "Checksums.h"
#include "DeviceProtocol.h"
#include "DeviceSearch.h"
#include "SimulatedDevice.h"
#include "SimulatedHid.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

using Request = SimulatedDevice::Request;

class SimulatedSave : public ::testing::Test {
  protected:
    void TearDown() override { closeOpenDeviceList(); }

    size_t filesIn(const TempDir& dir) const {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("")))
            count += entry.is_regular_file();
        return count;
    }

    static bool waitUntilPresent(SimulatedHidSystem& hid, size_t index) {
        for (int i = 0; i < 300 && !hid.present(index); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return hid.present(index);
    }

    TempDir saves;
    std::atomic<int> progress{-1};
};

// Hand-made host requests, for what the real host never sends.
void frameRequest(SimulatedDevice& device, uint8_t command, uint8_t* data, size_t length,
                  SimulatedDevice::Outcome& outcome) {
    byteorder::writeLe16(data + kRequestVendor, 0x1209);
    byteorder::writeLe16(data + kRequestProduct, 0x0001);
    data[kRequestFixed] = kRequestFixedValue;
    data[kRequestCommand] = command;
    uint8_t report[kReportSize];
    frameReport(report, data, length);
    outcome = device.receive(report);
}

SimulatedDevice::Outcome sendBlock(SimulatedDevice& device, uint16_t block, uint16_t lastBlock,
                                   uint32_t crc, const std::vector<uint8_t>& bytes) {
    SimulatedDevice::Outcome outcome;
    uint8_t start[kBlockStartLength] = {};
    byteorder::writeLe16(start + kRequestBlockIndex, block);
    byteorder::writeLe16(start + kRequestLastBlockIndex, lastBlock);
    byteorder::writeLe32(start + kRequestBlockCrc, crc);
    frameRequest(device, CMD_BLOCK_START, start, sizeof start, outcome);
    uint8_t data[kRequestHeaderLength + kMaxPacketPayload] = {};
    data[kRequestPayloadLength] = static_cast<uint8_t>(bytes.size());
    byteorder::writeLe16(data + kRequestPacketIndex, kFinalPacketIndex);
    std::memcpy(data + kRequestPayload, bytes.data(), bytes.size());
    frameRequest(device, CMD_BLOCK_DATA, data, kRequestHeaderLength + bytes.size(), outcome);
    return outcome;
}

uint32_t crcOf(const std::vector<uint8_t>& bytes) {
    return blockCrc(bytes.data(), bytes.size() / 4);
}

} // namespace

TEST_F(SimulatedSave, OnlyTheUpdatedDeviceWritesTheImageItReceived) {
    const std::string first = saves.file("first.bin");
    const std::string second = saves.file("second.bin");
    SimulatedSetup setup("pid=0001,block=64,save=" + first + ";pid=0002,block=64,save=" + second);
    ASSERT_EQ(setup.hid->deviceCount(), 2u);
    EXPECT_NE(setup.hid->path(1).find("vid_1209&pid_0002"), std::string::npos);

    const std::vector<uint8_t> image = qfu::randomImage(1024, 7);
    ASSERT_TRUE(setup.updater->loadFile(setup.makeFileFor(setup.configs[1], image).c_str()));
    ASSERT_TRUE(setup.updater->runUpdate(progress));

    EXPECT_EQ(TempDir::read(second), image);
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_EQ(filesIn(saves), 1u); // no temp file left beside it
    EXPECT_TRUE(setup.requests(0).empty());
    setup.hid->withDevice(1, [](const SimulatedDevice& device) {
        EXPECT_EQ(device.savedImages(), 1);
        EXPECT_EQ(device.failedSaves(), 0);
    });
}

TEST_F(SimulatedSave, AnUpdateThatDoesNotCompleteLeavesThePreviousFile) {
    const std::string target = saves.file("image.bin");
    SimulatedSetup setup("block=64,restart=0,unplug-at=2,replug-after=50,save=" + target);
    const std::vector<uint8_t> first = qfu::randomImage(512, 1);
    const std::vector<uint8_t> second = qfu::randomImage(512, 2);
    ASSERT_TRUE(setup.updater->loadFile(setup.makeFile(first).c_str()));

    EXPECT_FALSE(setup.updater->runUpdate(progress)); // unplugged at block 2
    EXPECT_FALSE(std::filesystem::exists(target));
    ASSERT_TRUE(waitUntilPresent(*setup.hid, 0));
    setup.updater->closeDevice();
    ASSERT_TRUE(setup.updater->runUpdate(progress));
    ASSERT_EQ(TempDir::read(target), first);

    // The second image: aborted half way, then unplugged at its last block.
    ASSERT_TRUE(setup.updater->loadFile(setup.makeFile(second).c_str()));
    std::atomic<bool> abort{false};
    setup.hid->setObserver([&](size_t, const Request& request) {
        if (request.command == CMD_BLOCK_START && request.blockIndex == 4) abort = true;
    });
    EXPECT_FALSE(setup.updater->runUpdate(progress, &abort));
    EXPECT_EQ(TempDir::read(target), first);

    abort = false;
    setup.hid->setObserver([&](size_t index, const Request& request) {
        if (request.command == CMD_BLOCK_START && request.blockIndex == 7)
            setup.hid->unplug(index, 50);
    });
    EXPECT_FALSE(setup.updater->runUpdate(progress));
    EXPECT_EQ(TempDir::read(target), first);
    EXPECT_EQ(filesIn(saves), 1u);
}

TEST_F(SimulatedSave, ARefusedOrGarbledLastAcknowledgementSavesNothing) {
    // Block 7 is the last of 512 bytes in blocks of 64. A garbled acknowledgement
    // fails the update on the host's side, so the device must not keep it either.
    for (const char* fault : {"nak-at=7", "bad-checksum-at=7"}) {
        TempDir dir;
        const std::string target = dir.file("image.bin");
        SimulatedSetup setup(std::string("block=64,") + fault + ",save=" + target);
        ASSERT_TRUE(setup.load(512));
        EXPECT_FALSE(setup.updater->runUpdate(progress)) << fault;
        EXPECT_FALSE(std::filesystem::exists(target)) << fault;
        closeOpenDeviceList();
    }
}

TEST_F(SimulatedSave, BlocksThatDoNotFitTheImageAreRefusedAndNotSaved) {
    SimulatedDeviceConfig config;
    config.blockSize = 48;
    config.savePath = saves.file("image.bin");
    SimulatedDevice device(config);
    const std::vector<uint8_t> block0 = qfu::randomImage(48, 3);
    const std::vector<uint8_t> block1 = qfu::randomImage(48, 4);

    SimulatedDevice::Outcome outcome = sendBlock(device, 0, 0, crcOf(block0) ^ 1, block0);
    ASSERT_TRUE(outcome.replied);
    EXPECT_NE(outcome.reply[kResponseStatus], kStatusAccepted); // CRC mismatch
    EXPECT_FALSE(std::filesystem::exists(config.savePath));

    // Block 1 claims a longer image than block 0 announced: the image would have a hole.
    outcome = sendBlock(device, 0, 1, crcOf(block0), block0);
    EXPECT_EQ(outcome.reply[kResponseStatus], kStatusAccepted);
    outcome = sendBlock(device, 1, 2, crcOf(block1), block1);
    EXPECT_NE(outcome.reply[kResponseStatus], kStatusAccepted);
    EXPECT_EQ(outcome.event, SimulatedDevice::Event::None);
    EXPECT_FALSE(std::filesystem::exists(config.savePath));

    outcome = sendBlock(device, 0, 1, crcOf(block0), block0);
    outcome = sendBlock(device, 1, 1, crcOf(block1), block1);
    EXPECT_EQ(outcome.event, SimulatedDevice::Event::UpdateComplete);
    std::vector<uint8_t> both = block0;
    both.insert(both.end(), block1.begin(), block1.end());
    EXPECT_EQ(TempDir::read(config.savePath), both);
}

TEST_F(SimulatedSave, AFileThatCannotBeWrittenIsCountedAndLeavesNoTempFile) {
    SimulatedDeviceConfig config;
    config.blockSize = 48;
    config.savePath = saves.file("gone/image.bin"); // its folder went away after parsing
    SimulatedDevice device(config);
    const std::vector<uint8_t> block = qfu::randomImage(48, 5);
    const SimulatedDevice::Outcome outcome = sendBlock(device, 0, 0, crcOf(block), block);
    EXPECT_EQ(outcome.reply[kResponseStatus], kStatusAccepted);
    EXPECT_EQ(device.savedImages(), 0);
    EXPECT_EQ(device.failedSaves(), 1);
    EXPECT_EQ(filesIn(saves), 0u);
}

TEST(SimulatedHid, AReportSlowerThanItsLimitTimesOutAsOnADevice) {
    SimulatedDeviceConfig config;
    config.latencyMs = 300;
    SimulatedHidSystem hid(config);
    std::unique_ptr<HidConnection> connection;
    ASSERT_EQ(hid.open(hid.path(0), connection), HidOpenStatus::Opened);
    uint8_t data[kRequestHeaderLength] = {};
    byteorder::writeLe16(data + kRequestVendor, 0x1209);
    byteorder::writeLe16(data + kRequestProduct, 0x0001);
    data[kRequestFixed] = kRequestFixedValue;
    data[kRequestCommand] = CMD_GET_INFO;
    uint8_t transfer[kHidTransferSize] = {};
    uint8_t report[kReportSize];
    frameReport(report, data, sizeof data);
    std::memcpy(transfer + 1, report, kReportSize);
    auto requests = [&] {
        size_t count = 0;
        hid.withDevice(0, [&](const SimulatedDevice& device) { count = device.requests().size(); });
        return count;
    };

    // Past its limit the device never takes the report; within it, it does.
    EXPECT_FALSE(connection->write(transfer, 100));
    EXPECT_EQ(requests(), 0u);
    ASSERT_TRUE(connection->write(transfer, 1000));
    EXPECT_EQ(requests(), 1u);
    // A read cut by its limit leaves the reply queued for the next one.
    uint8_t reply[kHidTransferSize] = {};
    EXPECT_FALSE(connection->read(reply, 100));
    EXPECT_EQ(reply[1], 0);
    ASSERT_TRUE(connection->read(reply, 1000));
    std::memcpy(report, reply + 1, kReportSize);
    EXPECT_TRUE(reportWellFormed(report));
}
