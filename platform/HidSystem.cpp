#include "HidSystem.h"

std::string HidInterface::unitKey() const {
    // Kinds are kept apart: a serial that happens to read like a port is not that port.
    if (!serial.empty())
        return "serial:" + serial;
    if (!location.empty())
        return "port:" + location;
    return "path:" + path;
}

bool HidInterface::carriesUpdates() const {
    auto fits = [](uint16_t length) { return length == 0 || length == kHidTransferSize; };
    return fits(inputReportLength) && fits(outputReportLength);
}

std::string HidInterface::unitText() const {
    if (!serial.empty())
        return "serial " + serial;
    if (!location.empty())
        return "port " + location;
    return "";
}

bool HidSystem::listPaths(std::vector<std::string>& paths) {
    paths.clear();
    std::vector<HidInterface> interfaces;
    if (!listInterfaces(interfaces))
        return false;
    for (HidInterface& entry : interfaces)
        paths.push_back(std::move(entry.path));
    return true;
}

std::string printableUnitText(const std::string& text) {
    std::string clean;
    for (char c : text) {
        if (clean.size() == 128)
            break;
        if (c > 0x20 && c < 0x7F)
            clean += c;
    }
    return clean;
}
