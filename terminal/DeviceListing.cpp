#include "DeviceListing.h"

#include "CFirmwareUpdater.h"
#include "DeviceProbe.h"
#include "DeviceSearch.h"
#include "HidSystem.h"
#include "JsonLines.h"
#include "OneInterfaceHid.h"
#include "TerminalText.h"

#include <ostream>
#include <vector>

using json = nlohmann::ordered_json; // keys in the order written: "event" first

int runDeviceList(const std::shared_ptr<HidSystem>& hid, const std::optional<std::string>& identity,
                  const std::string& devicePath, bool asJson, std::ostream& out, std::ostream& err) {
    std::string pattern;
    if (identity) {
        uint16_t vendorId = 0, productId = 0;
        if (!CFirmwareUpdater::parseIdentity(identity->c_str(), vendorId, productId)) {
            err << "quorix-updater: -id: \"" << terminalSafe(*identity) << "\" names no device (vid_XXXX&pid_YYYY)\n";
            return 1;
        }
        pattern = devicePattern(vendorId, productId);
    }
    std::vector<HidInterface> interfaces;
    if (!hid->listInterfaces(interfaces)) {
        err << "quorix-updater: the HID interfaces could not be listed\n";
        return 1;
    }
    size_t listed = 0, matched = 0;
    for (const HidInterface& entryInterface : interfaces) {
        const std::string& path = entryInterface.path;
        if (!devicePath.empty() && !OneInterfaceHid::names(path, devicePath))
            continue;
        ++listed;
        uint16_t vendorId = 0, productId = 0;
        const bool hasIds = idsInPath(path, vendorId, productId);
        const bool ask = !pattern.empty() && pathMatchesPattern(path, pattern) &&
                         entryInterface.carriesUpdates();
        json entry = {{"event", "interface"},
                      {"path", path},
                      {"vendor_id", hasIds ? json(hexId(vendorId)) : json(nullptr)},
                      {"product_id", hasIds ? json(hexId(productId)) : json(nullptr)},
                      {"serial", entryInterface.serial.empty() ? json(nullptr) : json(entryInterface.serial)},
                      {"location", entryInterface.location.empty() ? json(nullptr) : json(entryInterface.location)}};
        std::string line = path + "  " +
                           (hasIds ? "vid_" + hexId(vendorId) + "&pid_" + hexId(productId) : "(no USB IDs)");
        if (!entryInterface.serial.empty())
            line += "  serial " + entryInterface.serial;
        if (!entryInterface.location.empty())
            line += "  port " + entryInterface.location;
        if (!entryInterface.carriesUpdates()) {
            // A collection of other reports: listed, never asked nor updated.
            entry["updatable"] = false;
            line += "  (reports of " + std::to_string(entryInterface.inputReportLength) + "/" +
                    std::to_string(entryInterface.outputReportLength) + " bytes: not for updates)";
        }
        if (ask) {
            ++matched;
            const DeviceReport report = probeDevice(hid, path);
            if (report.answered) {
                entry["hardware"] = report.hardware.text();
                entry["firmware"] = firmwareText(report);
                entry["block_size"] = report.blockSize;
                line += "  hardware " + report.hardware.text() + "  firmware " + firmwareText(report) +
                        "  block size " + std::to_string(report.blockSize);
            } else {
                entry["cause"] = report.failure.text();
                line += "  (" + report.failure.text() + ")";
            }
        }
        out << (asJson ? jsonLine(entry) : terminalSafe(line) + "\n");
    }
    out.flush();
    closeOpenDeviceList();
    if (!pattern.empty() && matched == 0) {
        err << "quorix-updater: no interface matches " << pattern << "\n";
        return 1;
    }
    if (listed == 0)
        err << "quorix-updater: no HID interface is present\n";
    return 0;
}
