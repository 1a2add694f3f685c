#pragma once

#include "HidSystem.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

// HID interfaces through SetupAPI: the present interfaces of the HID class, each
// opened with CreateFileA for overlapped reads and writes. The paths are the
// system's interface paths, which already contain "vid_xxxx&pid_xxxx". Each names
// its unit by the serial number the device reports and the USB port it is on, and
// its collection's report lengths; an open interface is claimed with a named mutex
// derived from its path.
// What a test puts in place of the system's own calls, to make the transfer code
// meet what a real driver can do.
struct HidIoHooks {
    // In place of CancelIoEx (a driver that never gives a cancelled transfer back).
    std::function<void(void* handle, void* overlapped)> cancel{};
    // In place of asking the interface itself (its serial, its collection's input and
    // output report lengths), which opens it.
    std::function<void(const std::string& path, uint16_t& input, uint16_t& output)> reportLengths{};
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

protected:
    // The interfaces present, with what the system knows of their units.
    virtual bool enumerate(std::vector<HidInterface>& interfaces);

private:
    static constexpr size_t kMaxRemembered = 1024;
    struct Facts {
        std::string serial;
        uint16_t inputLength = 0, outputLength = 0;
    };
    // What the interface says of itself: its serial and report lengths.
    void addFacts(HidInterface& entry);

    HidIoHooks hooks_;
    std::mutex factsLock_;
    std::map<std::string, Facts> facts_; // by interface path
};
