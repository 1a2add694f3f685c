#include "PipeDeviceServer.h"

#include "HidSystem.h"
#include "SimulatedDevice.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

// Waits for an overlapped operation or the stop event; false when stopping or failed.
bool complete(HANDLE pipe, OVERLAPPED& overlapped, HANDLE stop, DWORD& transferred) {
    const HANDLE events[2] = {overlapped.hEvent, stop};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, &transferred, FALSE) != FALSE;
}

} // namespace

PipeDeviceServer::PipeDeviceServer(const SimulatedDeviceConfig& config, int disconnectAfter, int stallAfter)
    : disconnectAfter_(disconnectAfter), stallAfter_(stallAfter) {
    static std::atomic<int> counter{0};
    char name[96];
    // The name carries the IDs the way a HID interface path does.
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\quorix-hid-%lu-%d#vid_%04x&pid_%04x",
                  GetCurrentProcessId(), counter++, config.vendorId, config.productId);
    path_ = name;
    // A device that stops reading must make the writer wait at once, as a HID
    // device's full endpoint does: then the pipe keeps no reports of its own.
    const DWORD inbound = stallAfter >= 0 ? 0 : 4096;
    const HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                         4096, inbound, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return;
    pipe_ = pipe;
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    resume_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, config] { serve(config); });
}

PipeDeviceServer::~PipeDeviceServer() {
    if (stop_)
        SetEvent(static_cast<HANDLE>(stop_));
    if (thread_.joinable())
        thread_.join();
    if (pipe_)
        CloseHandle(static_cast<HANDLE>(pipe_));
    if (stop_)
        CloseHandle(static_cast<HANDLE>(stop_));
    if (resume_)
        CloseHandle(static_cast<HANDLE>(resume_));
}

void PipeDeviceServer::resumeReading() {
    SetEvent(static_cast<HANDLE>(resume_));
}

void PipeDeviceServer::serve(const SimulatedDeviceConfig& config) {
    const HANDLE pipe = static_cast<HANDLE>(pipe_);
    const HANDLE stop = static_cast<HANDLE>(stop_);
    SimulatedDevice device(config);
    OVERLAPPED overlapped;
    std::memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD transferred = 0;

    bool connected = ConnectNamedPipe(pipe, &overlapped) != FALSE;
    if (!connected) {
        const DWORD error = GetLastError();
        connected = error == ERROR_PIPE_CONNECTED ||
                    (error == ERROR_IO_PENDING && complete(pipe, overlapped, stop, transferred));
    }
    uint8_t message[kHidTransferSize];
    while (connected) {
        if (received_ == stallAfter_) {
            const HANDLE events[2] = {static_cast<HANDLE>(resume_), stop};
            if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0)
                break;
        }
        if (!ReadFile(pipe, message, sizeof message, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            break;
        if (!complete(pipe, overlapped, stop, transferred))
            break;
        if (transferred != sizeof message)
            continue;
        if (++received_ == disconnectAfter_) {
            gone_ = true;
            DisconnectNamedPipe(pipe);
            break;
        }
        uint8_t report[kReportSize];
        std::memcpy(report, message + 1, kReportSize);
        const SimulatedDevice::Outcome outcome = device.receive(report);
        if (!outcome.replied)
            continue;
        message[0] = 0;
        std::memcpy(message + 1, outcome.reply, kReportSize);
        if (!WriteFile(pipe, message, sizeof message, nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING)
            break;
        if (!complete(pipe, overlapped, stop, transferred))
            break;
    }
    CloseHandle(overlapped.hEvent);
}
