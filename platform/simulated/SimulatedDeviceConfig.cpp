#include "SimulatedDeviceConfig.h"

#include "TextNumbers.h"

#include <sstream>


const char* SimulatedDeviceConfig::syntax() {
    return "vid=HEX,pid=HEX,hw=A.B.CC,fw=A.B.CC|none,new-fw=A.B.CC,block=BYTES,latency=MS,"
           "appear=MS,restart=MS,unplug-at=K,replug-after=MS,nak-at=K,bad-checksum-at=K,"
           "silent-at=K,once,busy,count=N";
}

bool SimulatedDeviceConfig::parse(const std::string& text, SimulatedDeviceConfig& config,
                                  std::string& error) {
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.empty())
            continue;
        const size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const bool hasValue = equals != std::string::npos;
        const std::string value = hasValue ? item.substr(equals + 1) : std::string();
        uint64_t number = 0;
        bool ok = hasValue;

        if (key == "once" || key == "busy") {
            ok = !hasValue;
            (key == "once" ? config.once : config.busy) = true;
        } else if (key == "vid" || key == "pid") {
            ok = ok && parseUnsignedText(value, 16, 0xFFFF, number);
            (key == "vid" ? config.vendorId : config.productId) = static_cast<uint16_t>(number);
        } else if (key == "hw") {
            ok = ok && parseVersionText(value, config.hardware);
        } else if (key == "fw") {
            config.noFirmware = value == "none";
            ok = ok && (config.noFirmware || parseVersionText(value, config.firmware));
        } else if (key == "new-fw") {
            FirmwareVersion version;
            ok = ok && parseVersionText(value, version);
            config.newFirmware = version;
        } else if (key == "block") {
            // 0 and odd sizes are allowed: the host must cope with what a device says.
            ok = ok && parseUnsignedText(value, 10, 0xFFFFFFFFull, number);
            config.blockSize = static_cast<uint32_t>(number);
        } else if (key == "count") {
            ok = ok && parseUnsignedText(value, 10, 16, number) && number >= 1;
            config.count = static_cast<int>(number);
        } else {
            int* target = key == "latency"           ? &config.latencyMs
                          : key == "appear"          ? &config.appearMs
                          : key == "restart"         ? &config.restartMs
                          : key == "unplug-at"       ? &config.unplugAt
                          : key == "replug-after"    ? &config.replugAfterMs
                          : key == "nak-at"          ? &config.nakAt
                          : key == "bad-checksum-at" ? &config.badChecksumAt
                          : key == "silent-at"       ? &config.silentAt
                                                     : nullptr;
            if (!target) {
                error = "unknown simulated-device key \"" + key + "\" (keys: " + syntax() + ")";
                return false;
            }
            ok = ok && parseUnsignedText(value, 10, 600000, number);
            *target = static_cast<int>(number);
        }
        if (!ok) {
            error = "bad simulated-device setting \"" + item + "\"";
            return false;
        }
    }
    return true;
}
