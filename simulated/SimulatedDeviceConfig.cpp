#include "SimulatedDeviceConfig.h"

#include "FileAccess.h"
#include "TextNumbers.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The file is written later, when an update completes: a folder that is not there
// is better refused now than found out after the whole update.
bool saveTargetUsable(const std::string& path, std::string& error) {
    std::error_code ignored;
    const fs::path target = pathFromUtf8(path);
    if (fs::is_directory(target, ignored)) {
        error = "simulated-device save path \"" + path + "\" is a folder";
        return false;
    }
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (!fs::is_directory(folder, ignored)) {
        error = "the folder of simulated-device save path \"" + path + "\" does not exist";
        return false;
    }
    return true;
}

// "out.bin", "./out.bin" and a symbolic link to the same folder name one file.
fs::path comparableSavePath(const std::string& path) {
    std::error_code failed;
    fs::path absolute = fs::absolute(pathFromUtf8(path), failed);
    if (failed) absolute = pathFromUtf8(path);
    const fs::path canonical = fs::weakly_canonical(absolute, failed);
    return (failed ? absolute : canonical).lexically_normal();
}

} // namespace

const char* SimulatedDeviceConfig::syntax() {
    return "vid=HEX,pid=HEX,hw=A.B.CC,fw=A.B.CC|none,new-fw=A.B.CC,block=BYTES,latency=MS,"
           "appear=MS,restart=MS,unplug-at=K,replug-after=MS,nak-at=K,bad-checksum-at=K,"
           "silent-at=K,once,busy,count=N,interfaces=N,leave=MS,serial=TEXT,port=TEXT,save=PATH";
}

bool SimulatedDeviceConfig::parse(const std::string& text, SimulatedDeviceConfig& config,
                                  std::string& error) {
    if (text.find(';') != std::string::npos) {
        error = "\";\" separates simulated devices, where one device is expected";
        return false;
    }
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
        } else if (key == "save") {
            ok = ok && !value.empty();
            if (ok && !saveTargetUsable(value, error)) return false;
            config.savePath = value;
        } else if (key == "serial" || key == "port") {
            // Printable and short: these texts reach terminals, logs and JSON.
            ok = ok && !value.empty() && value.size() <= 64 &&
                 std::all_of(value.begin(), value.end(), [](char c) { return c > 0x20 && c < 0x7F; });
            (key == "serial" ? config.serial : config.port) = value;
        } else if (key == "interfaces") {
            ok = ok && parseUnsignedText(value, 10, 8, number) && number >= 1;
            config.interfaces = static_cast<int>(number);
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
                          : key == "leave"           ? &config.leaveMs
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

bool SimulatedDeviceConfig::parseList(const std::string& text,
                                      std::vector<SimulatedDeviceConfig>& configs,
                                      std::string& error) {
    configs.clear();
    std::vector<std::string> entries;
    std::stringstream in(text);
    std::string entry;
    while (std::getline(in, entry, ';'))
        entries.push_back(entry);
    const bool several = entries.size() > 1;

    struct Save {
        fs::path path;
        size_t entryNumber;
    };
    std::vector<Save> saves;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].empty()) continue; // "a;;b" and a trailing ';' add no device
        const std::string name =
            "simulated device " + std::to_string(i + 1) + " (\"" + entries[i] + "\")";
        SimulatedDeviceConfig config;
        if (!parse(entries[i], config, error)) {
            if (several) error = name + ": " + error;
            return false;
        }
        if (!config.savePath.empty()) {
            if (config.count > 1) {
                error = name + ": its " + std::to_string(config.count) +
                        " devices (count) would all write save path \"" + config.savePath + "\"";
                return false;
            }
            const fs::path path = comparableSavePath(config.savePath);
            for (const Save& earlier : saves)
                if (earlier.path == path) {
                    error = "simulated devices " + std::to_string(earlier.entryNumber) + " and " +
                            std::to_string(i + 1) + " both write save path \"" + config.savePath +
                            "\": give each its own";
                    return false;
                }
            saves.push_back({path, i + 1});
        }
        configs.push_back(config);
    }
    if (configs.empty()) configs.emplace_back();
    return true;
}
