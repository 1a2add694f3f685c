#pragma once

#include "CHidDevice.h"

#include <cstdint>
#include <string>

class HidSystem;

// Results of findDevice.
enum DeviceSearchResult : int {
    kDeviceNone = 0,
    kDeviceOther = 1, // another matching interface is present (with open: one was opened)
    kDeviceInUse = 2, // the device in use is still present
};

// "vid_1234&pid_abcd": four lower-case hex digits each.
std::string devicePattern(uint16_t vendorId, uint16_t productId);

// Whether an interface path names the device of the pattern (letter case ignored).
bool pathMatchesPattern(const std::string& path, const std::string& pattern);

// What a search may find beyond the pattern.
struct SearchScope {
    // Only interfaces of this unit (its serial, else its port, else its path).
    const HidInterface* unit = nullptr;
    // Interfaces not to take as the device in use (tried already).
    const std::vector<std::string>* skip = nullptr;
    // Receives the first matching interface listed, when there is one.
    HidInterface* firstFound = nullptr;
};

// Whether a listed interface is the device in use: the same path, and the same
// unit where the device in use knows its unit (a node number the system gave to
// another device since is not the device in use).
bool isDeviceInUse(const HidInterface& listed, const CHidDevice& inUse);

// Looks for interfaces whose lower-cased path contains the pattern. With open, every
// matching interface is opened into the process-wide open-device list (interfaces
// that were in the list before come first), and unless the device in use is still
// present it becomes the first interface this search opened that could be claimed
// against other updaters (one that another holds does not count as found).
int findDevice(HidSystem& system, CHidDevice& inUse, const std::string& pattern, bool open,
               const SearchScope& scope = {});

// Closes the list's copies of one interface: a device given up must not stay
// claimed against other updaters through them.
void releaseFromOpenDeviceList(const std::string& path);
// Closes every interface held by the open-device list (also done at process exit).
void closeOpenDeviceList();
// How many records the list holds, and their paths in order (for tests).
std::vector<std::string> openDeviceListPaths();
