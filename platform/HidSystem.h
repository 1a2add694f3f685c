#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The OS boundary for HID devices: a list of present interfaces as path texts, and
// open interfaces that move single reports with a time limit. Every backend's path
// text contains the device's "vid_%04x&pid_%04x" in lower case, so the device
// search and identity texts behave alike on every OS. Each interface also names
// its unit, the physical device it belongs to, so that a run can follow one device
// across re-enumeration and never move to a twin with the same IDs.

// One report as it crosses the boundary: byte 0 is the report ID (always 0 here),
// bytes 1 to 64 the report itself.
constexpr size_t kHidTransferSize = 65;

// One present interface.
struct HidInterface {
    std::string path{};
    std::string serial{};   // the USB serial number; empty when the device has none
    std::string location{}; // the USB port chain it is plugged into; empty when unknown
    // Its input and output report lengths, report ID byte included, where the system
    // tells them (0: not known). A device lists a collection of its own for each kind
    // of report it has; only one of 65-byte reports both ways carries updates.
    uint16_t inputReportLength = 0;
    uint16_t outputReportLength = 0;

    bool carriesUpdates() const;

    // What names the physical device: its serial, else its port, else the path.
    std::string unitKey() const;
    // Whether two interfaces belong to the same physical device by that key.
    bool sameUnit(const HidInterface& other) const { return unitKey() == other.unitKey(); }
    // For people: "serial X", "port Y" or "" when only the path names it.
    std::string unitText() const;
};

// An open interface. Destroying it cancels any pending transfer and closes it.
class HidConnection {
public:
    virtual ~HidConnection() = default;
    // An independent second handle on the same interface; null if the OS refused.
    virtual std::unique_ptr<HidConnection> duplicate() const = 0;
    // Each waits at most timeoutMs; a transfer that times out is cancelled before
    // the call returns, so the next one starts clean. The read leaves the buffer
    // untouched on failure. Exception: a hidraw write, once handed to the kernel,
    // ends only with the device or the kernel's own 5 s USB time-out.
    virtual bool write(const uint8_t (&transfer)[kHidTransferSize], int timeoutMs) = 0;
    virtual bool read(uint8_t (&transfer)[kHidTransferSize], int timeoutMs) = 0;
    // Drops the input reports that already wait to be read, without waiting for
    // more; returns how many were dropped.
    virtual int discardInput() = 0;
    // Holds the interface against every other updater (other processes, and other
    // connections of this one that are not duplicates of this one) until this
    // connection and its duplicates are closed. False when another holds it.
    virtual bool claimExclusive() = 0;
};

enum class HidOpenStatus {
    Opened,
    Failed,           // any error not named below
    PermissionDenied, // present, but this user or the system denies access
    Busy,             // held exclusively by another program
    Gone,             // not there any more (unplugged since it was listed)
};

class HidSystem {
public:
    virtual ~HidSystem() = default;
    // The HID interfaces present now, in enumeration order. False when the system
    // could not list them at all (then none count as present).
    virtual bool listInterfaces(std::vector<HidInterface>& interfaces) = 0;
    // Their paths only.
    bool listPaths(std::vector<std::string>& paths);
    virtual HidOpenStatus open(const std::string& path,
                               std::unique_ptr<HidConnection>& connection) = 0;
};

// A serial or port text as a device or the system gives it, made safe to show:
// printable ASCII only, at most 128 characters (it reaches terminals, logs, JSON).
std::string printableUnitText(const std::string& text);

// The real devices of this OS (defined by the platform folder linked in).
std::shared_ptr<HidSystem> createPlatformHidSystem();

// The udev rule that lets the logged-in user open the device's hidraw nodes (one
// line, for a file under /etc/udev/rules.d/).
std::string udevRule(uint16_t vendorId, uint16_t productId);

// The cause of an open that was denied, as this OS puts it ("permission denied").
const char* hidAccessDeniedCause();

// Lines telling the user how to get access to an interface that exists but may not
// be opened (for example the udev rule that grants it on Linux).
std::vector<std::string> hidAccessAdvice(const std::string& path, uint16_t vendorId,
                                         uint16_t productId);
