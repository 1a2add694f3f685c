#pragma once

#include "FirmwareVersion.h"
#include "UpdateFailure.h"

#include <cstdint>
#include <memory>
#include <string>

class HidSystem;

// What one interface says when asked for its information: versions and block
// size, or why it could not say. Nothing is written to the device but the
// information request (no close request: a device in its loader stays there).
struct DeviceReport {
    bool answered = false;
    FirmwareVersion hardware{0xFF, 0xFF, 0xFF};
    FirmwareVersion firmware{0xFF, 0xFF, 0xFF};
    uint32_t blockSize = 0;
    UpdateFailure failure; // none when it answered with a usable block size
};

// The vendor and product ID in a path text ("...vid_1209&pid_0001..."); false when
// it names none.
bool idsInPath(const std::string& path, uint16_t& vendorId, uint16_t& productId);

// Opens the interface at path, asks it once and lets it go again. Blocks for up to
// the 2 s reply limit.
DeviceReport probeDevice(const std::shared_ptr<HidSystem>& hid, const std::string& path);

// Firmware as JSON and logs give it: "1.2.05", "none" for a device without
// firmware; empty when it did not answer.
std::string firmwareText(const DeviceReport& report);
