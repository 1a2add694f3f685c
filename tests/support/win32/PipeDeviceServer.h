#pragma once

#include "SimulatedDeviceConfig.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

// Serves a simulated device over an overlapped message-mode named pipe, one
// 65-byte message per report, so the Win32 transfer code can be tested against
// real overlapped I/O without HID hardware.
class PipeDeviceServer {
public:
    explicit PipeDeviceServer(const SimulatedDeviceConfig& config);
    ~PipeDeviceServer();
    PipeDeviceServer(const PipeDeviceServer&) = delete;
    PipeDeviceServer& operator=(const PipeDeviceServer&) = delete;

    // The path to open, e.g. \\.\pipe\quorix-hid-1234-0.
    const std::string& path() const { return path_; }
    bool ready() const { return pipe_ != nullptr; }
    int reportsReceived() const { return received_.load(); }

private:
    void serve(const SimulatedDeviceConfig& config);

    std::string path_;
    void* pipe_ = nullptr;  // HANDLE
    void* stop_ = nullptr;  // HANDLE, manual-reset event
    std::atomic<int> received_{0};
    std::thread thread_;
};
