#pragma once

#include "FirmwareVersion.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How a simulated device looks and misbehaves, from a text such as
// "vid=1209,pid=0001,fw=none,block=48,unplug-at=3,replug-after=1000".
// Several devices: such texts separated by ';'.
struct SimulatedDeviceConfig {
    uint16_t vendorId = 0x1209;
    uint16_t productId = 0x0001;
    FirmwareVersion hardware{1, 0, 0};
    FirmwareVersion firmware{1, 0, 0};
    bool noFirmware = false;
    // After a successful update: this version, or the one stamped in the image
    // ("QFWV" + major, minor, build at its start), or else the old one.
    std::optional<FirmwareVersion> newFirmware;
    uint32_t blockSize = 256;
    int latencyMs = 0;  // each report, either direction
    int appearMs = 0;   // present this long after creation
    int unplugAt = -1;  // block index; -1 = never
    int replugAfterMs = -1;
    int nakAt = -1;
    int badChecksumAt = -1;
    int silentAt = -1;
    bool once = false; // faults only on the first attempt at their block
    bool busy = false; // present, but cannot be opened
    int count = 1;     // devices with these settings, each a unit of its own
    int interfaces = 1; // interfaces of each device (same IDs); only the first answers
    int leaveMs = -1;   // unplugged this long after creation, whatever it is doing
    // The unit's USB serial number (empty: none) and port (empty: one of its own).
    std::string serial;
    std::string port;
    int restartMs = 1000; // away after a successful update; 0: restarts without going away
    // Receives the image of the last complete update (replaced atomically); empty:
    // not saved. Any character but ',' and ';', which separate the settings.
    std::string savePath;

    // Fills config from text (empty text: the defaults). On a bad key or value,
    // returns false with a one-line reason in error.
    static bool parse(const std::string& text, SimulatedDeviceConfig& config, std::string& error);
    // One or more devices, entries separated by ';' (no entry: one default device).
    // Fails naming the entry on a bad setting, and when two devices would write
    // the same save path.
    static bool parseList(const std::string& text, std::vector<SimulatedDeviceConfig>& configs,
                          std::string& error);
    // The accepted keys, for --help texts.
    static const char* syntax();
};
