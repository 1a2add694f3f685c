#pragma once

#include "HidSystem.h"

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
};
