#pragma once

#include "HidSystem.h"

#include <map>
#include <mutex>
#include <string>

// HID interfaces through SetupAPI: the present interfaces of the HID class, each
// opened with CreateFileA for overlapped reads and writes. The paths are the
// system's interface paths, which already contain "vid_xxxx&pid_xxxx". Each names
// its unit by the serial number the device reports and the USB port it is on; an
// open interface is claimed with a named mutex derived from its path.
class SetupApiHidSystem : public HidSystem {
public:
    bool listInterfaces(std::vector<HidInterface>& interfaces) override;
    // Also opens any other overlapped-capable path (tests use a named pipe).
    HidOpenStatus open(const std::string& path,
                       std::unique_ptr<HidConnection>& connection) override;

private:
    static constexpr size_t kMaxRemembered = 1024;
    std::string serialOf(const std::string& path, unsigned long usbDevice);

    std::mutex serialsLock_;
    std::map<std::string, std::string> serials_; // by interface path
};
