#pragma once

#include "HidSystem.h"

// HID interfaces through SetupAPI: the present interfaces of the HID class, each
// opened with CreateFileA for overlapped reads and writes. The paths are the
// system's interface paths, which already contain "vid_xxxx&pid_xxxx".
class SetupApiHidSystem : public HidSystem {
public:
    bool listInterfaces(std::vector<std::string>& paths) override;
    // Also opens any other overlapped-capable path (tests use a named pipe).
    HidOpenStatus open(const std::string& path,
                       std::unique_ptr<HidConnection>& connection) override;
};
