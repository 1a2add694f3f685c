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

int findDevice(HidSystem& system, CHidDevice& inUse, const std::string& pattern, bool open) {
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

    std::vector<std::string> paths;
    if (system.listInterfaces(paths)) {
        for (const std::string& path : paths) {
            if (!pathMatchesPattern(path, pattern))
                continue;
            if (path == inUse.path()) {
                result = kDeviceInUse;
                if (open)
                    list.records.push_back(inUse);
                continue;
            }
            bool opened = false;
            if (open) {
                std::unique_ptr<HidConnection> connection;
                if (system.open(path, connection) == HidOpenStatus::Opened && connection) {
                    opened = true;
                    CHidDevice record(path, std::move(connection));
                    if (firstOpened.isEmpty())
                        firstOpened = record;
                    list.records.push_back(std::move(record));
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
