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
    // disconnectAfter: after taking in this many reports the device goes away (the
    // pipe is disconnected, failing whatever transfer is pending); -1: never.
    // stallAfter: after answering this many reports the device stops taking reports
    // (a write to it stays pending) until resumeReading(); -1: never.
    explicit PipeDeviceServer(const SimulatedDeviceConfig& config, int disconnectAfter = -1, int stallAfter = -1);
    ~PipeDeviceServer();
    PipeDeviceServer(const PipeDeviceServer&) = delete;
    PipeDeviceServer& operator=(const PipeDeviceServer&) = delete;

    // The path to open, e.g. \\.\pipe\quorix-hid-1234-0.
    const std::string& path() const { return path_; }
    bool ready() const { return pipe_ != nullptr; }
    int reportsReceived() const { return received_.load(); }
    // False once the device went away.
    bool connected() const { return !gone_.load(); }
    void resumeReading();

private:
    void serve(const SimulatedDeviceConfig& config);

    std::string path_;
    void* pipe_ = nullptr;  // HANDLE
    void* stop_ = nullptr;  // HANDLE, manual-reset event
    std::atomic<int> received_{0};
    std::atomic<bool> gone_{false};
    void* resume_ = nullptr; // HANDLE, manual-reset event
    const int disconnectAfter_;
    const int stallAfter_;
    std::thread thread_;
};
