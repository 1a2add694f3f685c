#pragma once

#include "HidSystem.h"

#include <functional>
#include <string>

// HID interfaces through hidraw. Present interfaces are found in sysfs
// (/sys/class/hidraw/<node>/device/uevent, HID_ID=bus:vendor:product, the unit's
// serial in HID_UNIQ and its port in HID_PHYS); each path text is the device node
// followed by "?vid_xxxx&pid_xxxx". An open connection is claimed with flock.
class HidrawSystem : public HidSystem {
public:
    struct Options {
        std::string sysfsRoot = "/sys/class/hidraw";
        std::string devRoot = "/dev";
        // Opens a device node: returns a file descriptor, or -1 with errno set.
        std::function<int(const std::string& node)> openNode;
    };

    HidrawSystem();
    explicit HidrawSystem(Options options);

    bool listInterfaces(std::vector<HidInterface>& interfaces) override;
    HidOpenStatus open(const std::string& path,
                       std::unique_ptr<HidConnection>& connection) override;

    // What an open that failed with this errno means.
    static HidOpenStatus openStatusOf(int error);
    // Wraps an open descriptor (used by open, and by tests with a socket pair).
    static std::unique_ptr<HidConnection> adopt(int fd);

private:
    Options options_;
};
