#pragma once

#include "HidSystem.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>

// HID interfaces through SetupAPI: the present interfaces of the HID class, each
// opened with CreateFileA for overlapped reads and writes. The paths are the
// system's interface paths, which already contain "vid_xxxx&pid_xxxx". Each names
// its unit by the serial number the device reports and the USB port it is on; an
// open interface is claimed with a named mutex derived from its path.
// What a test puts in place of the system's own calls, to make the transfer code
// meet what a real driver can do.
struct HidIoHooks {
    // In place of CancelIoEx (a driver that never gives a cancelled transfer back).
    std::function<void(void* handle, void* overlapped)> cancel;
};

// Transfers whose cancel the driver never completed, kept with their buffers.
size_t parkedHidTransfers();

class SetupApiHidSystem : public HidSystem {
public:
    SetupApiHidSystem() = default;
    explicit SetupApiHidSystem(HidIoHooks hooks) : hooks_(std::move(hooks)) {}

    bool listInterfaces(std::vector<HidInterface>& interfaces) override;
    // Also opens any other overlapped-capable path (tests use a named pipe).
    HidOpenStatus open(const std::string& path,
                       std::unique_ptr<HidConnection>& connection) override;

    // What an open that failed with this system error means.
    static HidOpenStatus openStatusOf(unsigned long error);

private:
    static constexpr size_t kMaxRemembered = 1024;
    std::string serialOf(const std::string& path, unsigned long usbDevice);

    HidIoHooks hooks_;
    std::mutex serialsLock_;
    std::map<std::string, std::string> serials_; // by interface path
};
