#include "SimulatedDevice.h"

#include "ByteOrder.h"
#include "Checksums.h"
#include "FileAccess.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

constexpr uint8_t kStatusRefused = 2;
constexpr uint64_t kMaxImage = 64ull * 1024 * 1024; // device memory, so to speak
constexpr uint8_t kStamp[4] = {'Q', 'F', 'W', 'V'};

// Through a temp file in the same folder and a rename, so whoever reads the file
// finds the previous image or the new one, never a part.
bool replaceFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    static std::random_device entropy; // two programs may save beside each other
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp-%08x%08x", entropy(), entropy());
    const std::string temp = path + suffix;
    std::error_code failed;
    {
        std::ofstream out(pathFromUtf8(temp), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out.fail()) {
            std::filesystem::rename(pathFromUtf8(temp), pathFromUtf8(path), failed);
            if (!failed) return true;
        }
    }
    std::filesystem::remove(pathFromUtf8(temp), failed);
    return false;
}

} // namespace

SimulatedDevice::SimulatedDevice(const SimulatedDeviceConfig& config)
    : config_(config), firmware_(config.firmware), hasFirmware_(!config.noFirmware) {}

void SimulatedDevice::restart() {
    inBlock_ = false;
    block_.clear();
}

void SimulatedDevice::replyStatus(Outcome& outcome, uint8_t status) const {
    uint8_t data[8] = {};
    byteorder::writeLe16(data, config_.vendorId);
    byteorder::writeLe16(data + 2, config_.productId);
    data[kResponseStatus - kReportDataOffset] = status;
    frameReport(outcome.reply, data, sizeof data);
    outcome.replied = true;
}

void SimulatedDevice::replyInfo(Outcome& outcome) const {
    uint8_t data[23] = {};
    byteorder::writeLe16(data, config_.vendorId);
    byteorder::writeLe16(data + 2, config_.productId);
    data[4] = kRequestFixedValue;
    data[6] = CMD_GET_INFO;
    uint8_t* hardware = data + kResponseHardwareBuild - kReportDataOffset;
    hardware[0] = config_.hardware.build;
    hardware[1] = config_.hardware.minor;
    hardware[2] = config_.hardware.major;
    uint8_t* firmware = data + kResponseFirmwareBuild - kReportDataOffset;
    firmware[0] = hasFirmware_ ? firmware_.build : 0xFF;
    firmware[1] = hasFirmware_ ? firmware_.minor : 0xFF;
    firmware[2] = hasFirmware_ ? firmware_.major : kNoFirmwareMajor;
    byteorder::writeLe32(data + kResponseBlockSize - kReportDataOffset, config_.blockSize);
    frameReport(outcome.reply, data, sizeof data);
    outcome.replied = true;
}

bool SimulatedDevice::faultApplies(int at, uint16_t block, int attempt) const {
    return at >= 0 && at == block && (!config_.once || attempt == 1);
}

SimulatedDevice::Outcome SimulatedDevice::receive(const uint8_t (&report)[kReportSize]) {
    Outcome outcome;
    const uint8_t length = report[1];
    if (!reportWellFormed(report) || length < kRequestHeaderLength || length > kMaxReportData) {
        ++malformed_;
        return outcome;
    }
    const uint8_t* data = report + kReportDataOffset;
    if (byteorder::readLe16(data + kRequestVendor) != config_.vendorId ||
        byteorder::readLe16(data + kRequestProduct) != config_.productId ||
        data[kRequestFixed] != kRequestFixedValue) {
        ++malformed_;
        return outcome;
    }

    Request request{data[kRequestCommand], length, 0, 0, 0, 0, 0};
    switch (request.command) {
    case CMD_GET_INFO:
        replyInfo(outcome);
        break;
    case CMD_BLOCK_START:
        if (length < kBlockStartLength) {
            ++malformed_;
            return outcome;
        }
        request.blockIndex = blockIndex_ = byteorder::readLe16(data + kRequestBlockIndex);
        request.lastBlockIndex = lastBlockIndex_ = byteorder::readLe16(data + kRequestLastBlockIndex);
        request.blockCrc = blockCrc_ = byteorder::readLe32(data + kRequestBlockCrc);
        inBlock_ = true;
        blockBroken_ = blockIndex_ != expectedBlock_ && blockIndex_ != 0;
        if (blockIndex_ == 0)
            expectedBlock_ = 0;
        expectedPacket_ = 0;
        block_.clear();
        break;
    case CMD_BLOCK_DATA: {
        request.payloadLength = data[kRequestPayloadLength];
        request.packetIndex = byteorder::readLe16(data + kRequestPacketIndex);
        const size_t n = request.payloadLength;
        if (n == 0 || n > kMaxPacketPayload || kRequestHeaderLength + n != length) {
            ++malformed_;
            return outcome;
        }
        if (!inBlock_)
            break; // data without a block start: nothing to acknowledge
        const bool last = request.packetIndex == kFinalPacketIndex;
        if ((!last && request.packetIndex != expectedPacket_) || block_.size() + n > config_.blockSize)
            blockBroken_ = true;
        else
            block_.insert(block_.end(), data + kRequestPayload, data + kRequestPayload + n);
        ++expectedPacket_;
        if (last) {
            inBlock_ = false;
            finishBlock(outcome);
        }
        break;
    }
    case CMD_CLOSE:
        break;
    default:
        ++malformed_;
        return outcome;
    }
    if (requests_.size() < kMaxLogged)
        requests_.push_back(request);
    return outcome;
}

void SimulatedDevice::finishBlock(Outcome& outcome) {
    const int attempt = ++attempts_[blockIndex_];
    if (!unplugged_ && config_.unplugAt >= 0 && config_.unplugAt == blockIndex_) {
        unplugged_ = true;
        outcome.event = Event::Unplug;
        return;
    }
    if (faultApplies(config_.silentAt, blockIndex_, attempt))
        return;
    if (faultApplies(config_.nakAt, blockIndex_, attempt)) {
        replyStatus(outcome, kStatusRefused);
        return;
    }

    const uint64_t imageSize = (uint64_t{lastBlockIndex_} + 1) * config_.blockSize;
    const bool complete = !blockBroken_ && config_.blockSize > 0 &&
                          block_.size() == config_.blockSize && imageSize <= kMaxImage &&
                          blockIndex_ <= lastBlockIndex_ &&
                          (blockIndex_ == 0 || image_.size() == imageSize);
    const bool crcOk =
        complete && blockCrc(block_.data(), block_.size() / 4) == blockCrc_;
    if (!crcOk) {
        replyStatus(outcome, kStatusRefused);
    } else {
        if (blockIndex_ == 0)
            image_.assign(static_cast<size_t>(imageSize), 0);
        std::memcpy(image_.data() + size_t{blockIndex_} * config_.blockSize, block_.data(),
                    block_.size());
        expectedBlock_ = blockIndex_ + 1u;
        replyStatus(outcome, kStatusAccepted);
        if (blockIndex_ == lastBlockIndex_) {
            // New firmware: what the configuration says, else the image's own stamp.
            if (config_.newFirmware)
                firmware_ = *config_.newFirmware;
            else if (image_.size() >= 7 && std::memcmp(image_.data(), kStamp, 4) == 0)
                firmware_ = FirmwareVersion{image_[4], image_[5], image_[6]};
            hasFirmware_ = true;
            ++completedUpdates_;
            outcome.event = Event::UpdateComplete;
        }
    }
    const bool garbled =
        outcome.replied && faultApplies(config_.badChecksumAt, blockIndex_, attempt);
    if (garbled) outcome.reply[kReportChecksumOffset] ^= 0x5A;
    // Saved only when the host can know it succeeded: a garbled last
    // acknowledgement fails the update on its side.
    if (outcome.event == Event::UpdateComplete && !garbled && !config_.savePath.empty()) {
        if (replaceFile(config_.savePath, image_)) {
            ++savedImages_;
        } else {
            ++failedSaves_;
            std::fprintf(stderr, "simulated device: could not write its image to \"%s\"\n",
                         config_.savePath.c_str());
        }
    }
}
