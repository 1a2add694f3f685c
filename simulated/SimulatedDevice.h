#pragma once

#include "DeviceProtocol.h"
#include "FirmwareVersion.h"
#include "SimulatedDeviceConfig.h"

#include <cstdint>
#include <map>
#include <vector>

// The device side of the update protocol, without any transport: it takes the
// host's reports one at a time and says what it answers. It checks every block's
// CRC against what it received, keeps the image (and saves that of a complete
// update when configured to), and misbehaves as configured.
// Not thread-safe; its owner serialises access.
class SimulatedDevice {
public:
    explicit SimulatedDevice(const SimulatedDeviceConfig& config);

    enum class Event { None, Unplug, UpdateComplete };
    struct Outcome {
        bool replied = false;
        uint8_t reply[kReportSize] = {};
        Event event = Event::None;
    };
    Outcome receive(const uint8_t (&report)[kReportSize]);

    // One line per well-formed request, for tests to check what the host sent.
    struct Request {
        uint8_t command;
        uint8_t length;        // L of the report
        uint8_t payloadLength; // CMD_BLOCK_DATA
        uint16_t packetIndex;  // CMD_BLOCK_DATA
        uint16_t blockIndex;   // CMD_BLOCK_START
        uint16_t lastBlockIndex;
        uint32_t blockCrc;
    };
    static constexpr size_t kMaxLogged = 200000; // keeps long runs bounded

    const std::vector<Request>& requests() const { return requests_; }
    const std::vector<uint8_t>& image() const { return image_; }
    FirmwareVersion firmware() const { return firmware_; }
    bool hasFirmware() const { return hasFirmware_; }
    int completedUpdates() const { return completedUpdates_; }
    int malformedReports() const { return malformed_; }
    // Images written to the configured save path, and attempts that failed.
    int savedImages() const { return savedImages_; }
    int failedSaves() const { return failedSaves_; }
    // A new plug-in session: whatever block was half received is dropped.
    void restart();

private:
    void replyStatus(Outcome& outcome, uint8_t status) const;
    void replyInfo(Outcome& outcome) const;
    bool faultApplies(int at, uint16_t block, int attempt) const;
    void finishBlock(Outcome& outcome);

    SimulatedDeviceConfig config_;
    FirmwareVersion firmware_;
    bool hasFirmware_;
    std::vector<Request> requests_;
    std::vector<uint8_t> image_;
    std::vector<uint8_t> block_;
    bool inBlock_ = false;
    bool blockBroken_ = false; // packets out of order or too many bytes
    uint16_t blockIndex_ = 0;
    uint16_t lastBlockIndex_ = 0;
    uint32_t blockCrc_ = 0;
    uint16_t expectedPacket_ = 0;
    uint32_t expectedBlock_ = 0;
    std::map<uint16_t, int> attempts_; // completed transfers of each block
    bool unplugged_ = false;           // an unplug happens once; replugged it stays
    int completedUpdates_ = 0;
    int malformed_ = 0;
    int savedImages_ = 0;
    int failedSaves_ = 0;
};
