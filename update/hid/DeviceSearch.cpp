#include "DeviceSearch.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

// Interfaces stay open here until the next opening search, so that a device does
// not vanish from under the program between searches. Only the worker searches,
// but the lock keeps several updaters (tests) from tripping over each other.
struct OpenDeviceList {
    std::recursive_mutex lock;
    std::vector<CHidDevice> records;
};

OpenDeviceList& openDeviceList() {
    static OpenDeviceList list;
    return list;
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

bool pathMatchesPattern(const std::string& path, const std::string& pattern) {
    return !path.empty() && lowerCase(path).find(pattern) != std::string::npos;
}

std::string devicePattern(uint16_t vendorId, uint16_t productId) {
    char pattern[32];
    std::snprintf(pattern, sizeof pattern, "vid_%04x&pid_%04x", vendorId, productId);
    return pattern;
}

bool isDeviceInUse(const HidInterface& listed, const CHidDevice& inUse) {
    if (listed.path != inUse.path())
        return false;
    const HidInterface& known = inUse.where();
    return (known.serial.empty() && known.location.empty()) || listed.sameUnit(known);
}

int findDevice(HidSystem& system, CHidDevice& inUse, const std::string& pattern, bool open,
               const SearchScope& scope) {
    OpenDeviceList& list = openDeviceList();
    std::lock_guard<std::recursive_mutex> guard(list.lock);

    int result = kDeviceNone;
    CHidDevice firstOpened;
    std::vector<std::string> notedPaths;
    if (open) {
        for (const CHidDevice& record : list.records)
            notedPaths.push_back(record.path());
        list.records.clear();
    }

    std::vector<HidInterface> interfaces;
    if (system.listInterfaces(interfaces)) {
        std::erase_if(interfaces, [&](const HidInterface& entry) {
            return !pathMatchesPattern(entry.path, pattern) || !entry.carriesUpdates() ||
                   (scope.unit && !entry.sameUnit(*scope.unit));
        });
        if (scope.firstFound && !interfaces.empty())
            *scope.firstFound = interfaces.front();
        // While the device in use stays, no other interface is claimed.
        const bool inUseListed =
            std::any_of(interfaces.begin(), interfaces.end(),
                        [&](const HidInterface& entry) { return isDeviceInUse(entry, inUse); });
        std::vector<std::string> heldUnits; // another updater holds one of their interfaces
        for (const HidInterface& entry : interfaces) {
            if (isDeviceInUse(entry, inUse)) {
                result = kDeviceInUse;
                if (open)
                    list.records.push_back(inUse);
                continue;
            }
            const bool skipped = scope.skip && std::find(scope.skip->begin(), scope.skip->end(),
                                                         entry.path) != scope.skip->end();
            const bool held = std::find(heldUnits.begin(), heldUnits.end(), entry.unitKey()) !=
                              heldUnits.end();
            if (skipped || held)
                continue;
            bool opened = false;
            if (open) {
                std::unique_ptr<HidConnection> connection;
                if (system.open(entry.path, connection) == HidOpenStatus::Opened && connection) {
                    // Only the device in use is claimed: the others are merely held
                    // open, and stay free for other updaters. A unit another updater
                    // holds is left alone whole, whichever of its interfaces it holds.
                    const bool candidate = !inUseListed && firstOpened.isEmpty();
                    opened = !candidate || connection->claimExclusive();
                    if (!opened)
                        heldUnits.push_back(entry.unitKey());
                    if (opened) {
                        CHidDevice record(entry, std::move(connection));
                        if (candidate)
                            firstOpened = record;
                        list.records.push_back(std::move(record));
                    }
                }
            }
            if (result != kDeviceInUse && (!open || opened))
                result = kDeviceOther;
        }
    }

    if (open) {
        // Interfaces that were open before go first, in their old order; the
        // others follow in the order they were found.
        auto rank = [&](const CHidDevice& record) {
            auto it = std::find(notedPaths.begin(), notedPaths.end(), record.path());
            return static_cast<size_t>(it - notedPaths.begin());
        };
        std::stable_sort(list.records.begin(), list.records.end(),
                         [&](const CHidDevice& a, const CHidDevice& b) { return rank(a) < rank(b); });
        if (result != kDeviceInUse) {
            inUse.close();
            inUse = std::move(firstOpened);
        }
    }
    return result;
}

void releaseFromOpenDeviceList(const std::string& path) {
    OpenDeviceList& list = openDeviceList();
    std::lock_guard<std::recursive_mutex> guard(list.lock);
    std::erase_if(list.records, [&](const CHidDevice& record) { return record.path() == path; });
}

void closeOpenDeviceList() {
    OpenDeviceList& list = openDeviceList();
    std::lock_guard<std::recursive_mutex> guard(list.lock);
    list.records.clear();
}

std::vector<std::string> openDeviceListPaths() {
    OpenDeviceList& list = openDeviceList();
    std::lock_guard<std::recursive_mutex> guard(list.lock);
    std::vector<std::string> paths;
    for (const CHidDevice& record : list.records)
        paths.push_back(record.path());
    return paths;
}
