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
    CHidDevice(const CHidDevice& other);
    CHidDevice& operator=(const CHidDevice& other);
    CHidDevice(CHidDevice&& other) noexcept = default;
    CHidDevice& operator=(CHidDevice&& other) noexcept = default;
    ~CHidDevice() = default; // the connection closes itself

    void close();
    bool isOpen() const { return connection_ != nullptr; }
    bool isEmpty() const { return path_.empty() && !connection_; }
    const std::string& path() const { return path_; }
    // Identifies the open handle (tests check that a search kept it).
    const HidConnection* connection() const { return connection_.get(); }

    // One 64-byte report, sent as a 65-byte transfer with report ID 0.
    bool writeReport(const uint8_t (&report)[kReportSize]);
    // On failure the caller's buffer is not written.
    bool readReport(uint8_t (&report)[kReportSize], int timeoutMs = kTransferTimeoutMs);

private:
    std::string path_;
    std::unique_ptr<HidConnection> connection_;
};
