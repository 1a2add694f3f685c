#pragma once

#include "HidSystem.h"

#include <cstdint>
#include <memory>
#include <string>

// One HID interface: its path as the system reports it and, while open, the
// connection to it. Copies own a duplicated connection and must be closed (or
// destroyed) on their own.
class CHidDevice {
public:
    static constexpr size_t kReportSize = 64;
    static constexpr int kTransferTimeoutMs = 2000;

    CHidDevice() = default;
    CHidDevice(std::string path, std::unique_ptr<HidConnection> connection);
    // An interface as listed, with the unit it belongs to.
    CHidDevice(HidInterface where, std::unique_ptr<HidConnection> connection);
    CHidDevice(const CHidDevice& other);
    CHidDevice& operator=(const CHidDevice& other);
    CHidDevice(CHidDevice&& other) noexcept = default;
    CHidDevice& operator=(CHidDevice&& other) noexcept = default;
    ~CHidDevice() = default; // the connection closes itself

    void close();
    bool isOpen() const { return connection_ != nullptr; }
    bool isEmpty() const { return where_.path.empty() && !connection_; }
    const std::string& path() const { return where_.path; }
    // The listed interface: path, and the serial and port of its unit.
    const HidInterface& where() const { return where_; }
    // Identifies the open handle (tests check that a search kept it).
    const HidConnection* connection() const { return connection_.get(); }

    // One 64-byte report, sent as a 65-byte transfer with report ID 0.
    bool writeReport(const uint8_t (&report)[kReportSize], int timeoutMs = kTransferTimeoutMs);
    // On failure the caller's buffer is not written.
    bool readReport(uint8_t (&report)[kReportSize], int timeoutMs = kTransferTimeoutMs);
    // Drops input reports that already wait; how many.
    int discardInput() { return connection_ ? connection_->discardInput() : 0; }

private:
    HidInterface where_;
    std::unique_ptr<HidConnection> connection_;
};
