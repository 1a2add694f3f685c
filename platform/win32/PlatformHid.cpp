#include "PlatformHid.h"

#include <windows.h>

#include <setupapi.h>
extern "C" { // mingw's hidsdi.h declares its functions without C linkage
#include <hidsdi.h>
}

#include <cstring>

namespace {

class Win32HidConnection : public HidConnection {
public:
    // Takes over both handles.
    Win32HidConnection(HANDLE handle, HANDLE event) : handle_(handle) {
        std::memset(&overlapped_, 0, sizeof overlapped_);
        overlapped_.hEvent = event;
    }
    ~Win32HidConnection() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CancelIo(handle_);
            CloseHandle(handle_);
        }
        if (overlapped_.hEvent && overlapped_.hEvent != INVALID_HANDLE_VALUE)
            CloseHandle(overlapped_.hEvent);
    }

    std::unique_ptr<HidConnection> duplicate() const override {
        const HANDLE process = GetCurrentProcess();
        HANDLE handle = INVALID_HANDLE_VALUE, event = INVALID_HANDLE_VALUE;
        if (!DuplicateHandle(process, handle_, process, &handle, 0, FALSE, DUPLICATE_SAME_ACCESS))
            return nullptr;
        if (!DuplicateHandle(process, overlapped_.hEvent, process, &event, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            CloseHandle(handle);
            return nullptr;
        }
        return std::make_unique<Win32HidConnection>(handle, event);
    }

    bool write(const uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
        std::memcpy(buffer_, transfer, kHidTransferSize);
        resetOffsets();
        if (WriteFile(handle_, buffer_, kHidTransferSize, nullptr, &overlapped_))
            return true;
        return finishPending(timeoutMs);
    }

    bool read(uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
        std::memset(buffer_, 0, sizeof buffer_);
        resetOffsets();
        if (!ReadFile(handle_, buffer_, kHidTransferSize, nullptr, &overlapped_) &&
            !finishPending(timeoutMs))
            return false;
        std::memcpy(transfer, buffer_, kHidTransferSize);
        return true;
    }

private:
    void resetOffsets() {
        overlapped_.Offset = 0;
        overlapped_.OffsetHigh = 0;
        overlapped_.Internal = 0;
        overlapped_.InternalHigh = 0;
    }

    // The transfer did not complete at once: wait for it, and cancel it on time-out.
    // After CancelIo the cancelled transfer still completes later; it is waited for
    // here so that it can never write into buffer_ or overlapped_ once they are
    // reused or freed.
    bool finishPending(int timeoutMs) {
        if (GetLastError() != ERROR_IO_PENDING)
            return false;
        const DWORD waited = WaitForSingleObject(overlapped_.hEvent, static_cast<DWORD>(timeoutMs));
        if (waited == WAIT_OBJECT_0)
            return true;
        CancelIo(handle_);
        DWORD transferred = 0;
        GetOverlappedResult(handle_, &overlapped_, &transferred, TRUE);
        return false;
    }

    HANDLE handle_;
    OVERLAPPED overlapped_;
    uint8_t buffer_[kHidTransferSize];
};

} // namespace

bool SetupApiHidSystem::listInterfaces(std::vector<std::string>& paths) {
    paths.clear();
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    const HDEVINFO set =
        SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return false;

    SP_DEVICE_INTERFACE_DATA interfaceData;
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD index = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &interfaceData); ++index) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &required, nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) || required > 64 * 1024)
            continue;
        auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(
            GlobalAlloc(GPTR, required)); // zero-filled
        if (!detail)
            continue;
        // The size field holds the fixed part of the record: 8 on 64-bit Windows
        // (4 bytes and one character, aligned), 5 on 32-bit.
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required, nullptr,
                                             nullptr)) {
            const size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
            paths.emplace_back(detail->DevicePath, strnlen(detail->DevicePath, room));
        }
        GlobalFree(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

HidOpenStatus SetupApiHidSystem::open(const std::string& path,
                                      std::unique_ptr<HidConnection>& connection) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED ? HidOpenStatus::PermissionDenied
                                                     : HidOpenStatus::Failed;
    const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event) {
        CloseHandle(handle);
        return HidOpenStatus::Failed;
    }
    connection = std::make_unique<Win32HidConnection>(handle, event);
    return HidOpenStatus::Opened;
}

std::shared_ptr<HidSystem> createPlatformHidSystem() {
    return std::make_shared<SetupApiHidSystem>();
}

std::vector<std::string> hidAccessAdvice(const std::string& path, uint16_t, uint16_t) {
    return {"The device is connected, but Windows refused access to it:", path,
            "Close any other program that uses the device and try again."};
}
