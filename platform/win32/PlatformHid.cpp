#include "PlatformHid.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>
extern "C" { // mingw's hidsdi.h declares its functions without C linkage
#include <hidsdi.h>
}

#include <cctype>
#include <cstring>
#include <string>

namespace {

class Win32HidConnection : public HidConnection {
public:
    // Takes over both handles.
    Win32HidConnection(HANDLE handle, HANDLE event) : handle_(handle) {
        std::memset(&overlapped_, 0, sizeof overlapped_);
        overlapped_.hEvent = event;
    }
    // claimName: the named mutex that marks this interface as held by an updater.
    Win32HidConnection(HANDLE handle, HANDLE event, std::string claimName, HANDLE claim = nullptr)
        : Win32HidConnection(handle, event) {
        claimName_ = std::move(claimName);
        claim_ = claim;
    }
    ~Win32HidConnection() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CancelIo(handle_);
            CloseHandle(handle_);
        }
        if (overlapped_.hEvent && overlapped_.hEvent != INVALID_HANDLE_VALUE)
            CloseHandle(overlapped_.hEvent);
        if (claim_)
            CloseHandle(claim_);
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
        // A duplicate holds the claim too, as a duplicated file descriptor holds a lock.
        HANDLE claim = nullptr;
        if (claim_ && !DuplicateHandle(process, claim_, process, &claim, 0, FALSE,
                                       DUPLICATE_SAME_ACCESS)) {
            CloseHandle(handle);
            CloseHandle(event);
            return nullptr;
        }
        return std::make_unique<Win32HidConnection>(handle, event, claimName_, claim);
    }

    int discardInput() override {
        // Reports the HID driver already holds complete a read at once (or within a
        // moment); a read that stays pending means none is waiting.
        int dropped = 0;
        while (dropped < kMaxDiscarded) {
            uint8_t transfer[kHidTransferSize];
            if (!read(transfer, 0))
                break;
            ++dropped;
        }
        return dropped;
    }

    // The mutex exists as long as any updater holds a handle on it: whoever created it
    // holds the interface; whoever finds it there is refused.
    bool claimExclusive() override {
        if (claim_)
            return true;
        if (claimName_.empty())
            return false;
        HANDLE mutex = CreateMutexA(nullptr, FALSE, claimName_.c_str());
        if (!mutex)
            return false;
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(mutex);
            return false;
        }
        claim_ = mutex;
        return true;
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

    static constexpr int kMaxDiscarded = 256;
    HANDLE handle_;
    OVERLAPPED overlapped_;
    uint8_t buffer_[kHidTransferSize];
    std::string claimName_;
    HANDLE claim_ = nullptr;
};


// The serial number the device reports, read through a handle that asks for no
// access (which works also for collections the system keeps for itself).
std::string serialNumberOf(const std::string& path) {
    const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return "";
    wchar_t serial[128] = {};
    std::string text;
    if (HidD_GetSerialNumberString(handle, serial, sizeof serial - sizeof serial[0]))
        for (size_t i = 0; i < 127 && serial[i]; ++i)
            text += serial[i] < 0x80 ? static_cast<char>(serial[i]) : '?';
    CloseHandle(handle);
    return printableUnitText(text);
}

std::string upperCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The USB device an interface belongs to: up the device tree from the HID
// collection, past the interfaces of a composite device. 0 when it is not on USB
// (a Bluetooth device has no USB port of its own: its radio's is not its port).
DEVINST usbDeviceOf(DEVINST node) {
    for (int depth = 0; depth < 8; ++depth) {
        char id[MAX_DEVICE_ID_LEN + 1] = {};
        if (CM_Get_Device_IDA(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS)
            return 0;
        const std::string upper = upperCase(id);
        if (upper.rfind("USB\\", 0) == 0) {
            if (upper.find("&MI_") == std::string::npos)
                return node;
        } else if (upper.rfind("HID\\", 0) != 0) {
            return 0;
        }
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS)
            return 0;
        node = parent;
    }
    return 0;
}

std::string deviceIdOf(DEVINST node) {
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    return CM_Get_Device_IDA(node, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS ? std::string(id) : "";
}

// The USB device's port chain: its location paths (the first of them), or on older
// systems its location text.
std::string locationOf(DEVINST usb) {
    if (!usb)
        return "";
    char text[1024] = {};
    for (ULONG property : {ULONG{CM_DRP_LOCATION_PATHS}, ULONG{CM_DRP_LOCATION_INFORMATION}}) {
        ULONG length = sizeof text - 2;
        if (CM_Get_DevNode_Registry_PropertyA(usb, property, nullptr, text, &length, 0) == CR_SUCCESS &&
            text[0])
            return printableUnitText(text);
    }
    return "";
}

// The serial the system took from the device for its instance ID (the last part of it),
// only when the device's serial is unique; otherwise that part is made from the port.
std::string instanceSerialOf(DEVINST usb) {
    ULONG capabilities = 0, length = sizeof capabilities;
    if (!usb ||
        CM_Get_DevNode_Registry_PropertyA(usb, CM_DRP_CAPABILITIES, nullptr, &capabilities, &length, 0) !=
            CR_SUCCESS ||
        !(capabilities & CM_DEVCAP_UNIQUEID))
        return "";
    const std::string id = deviceIdOf(usb);
    const size_t slash = id.rfind('\\');
    return slash == std::string::npos ? "" : printableUnitText(id.substr(slash + 1));
}

// "Global\\quorix-updater-" and the path lower-cased, backslashes made '#': one
// name per interface, the same in every session.
std::string claimNameOf(const std::string& path) {
    std::string name = "Global\\quorix-updater-";
    for (char c : path) {
        if (name.size() >= MAX_PATH - 1)
            break;
        name += c == '\\' ? '#' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

} // namespace

bool SetupApiHidSystem::listInterfaces(std::vector<HidInterface>& interfaces) {
    interfaces.clear();
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
        SP_DEVINFO_DATA deviceData;
        deviceData.cbSize = sizeof deviceData;
        if (SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, required, nullptr,
                                             &deviceData)) {
            const size_t room = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
            HidInterface entry;
            entry.path.assign(detail->DevicePath, strnlen(detail->DevicePath, room));
            const DEVINST usb = usbDeviceOf(deviceData.DevInst);
            entry.serial = serialOf(entry.path, usb);
            entry.location = locationOf(usb);
            interfaces.push_back(std::move(entry));
        }
        GlobalFree(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

std::string SetupApiHidSystem::serialOf(const std::string& path, unsigned long usbDevice) {
    // Asked of the device once per interface: the answer names the unit for as long as
    // the interface is there, and a device that is slow to answer slows one listing.
    std::lock_guard<std::mutex> guard(serialsLock_);
    const auto known = serials_.find(path);
    if (known != serials_.end())
        return known->second;
    std::string serial = serialNumberOf(path);
    if (serial.empty())
        serial = instanceSerialOf(static_cast<DEVINST>(usbDevice));
    if (serials_.size() >= kMaxRemembered)
        serials_.clear();
    serials_.emplace(path, serial);
    return serial;
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
    connection = std::make_unique<Win32HidConnection>(handle, event, claimNameOf(path));
    return HidOpenStatus::Opened;
}

std::shared_ptr<HidSystem> createPlatformHidSystem() {
    return std::make_shared<SetupApiHidSystem>();
}

std::vector<std::string> hidAccessAdvice(const std::string& path, uint16_t, uint16_t) {
    return {"The device is connected, but Windows refused access to it:", path,
            "Close any other program that uses the device and try again."};
}
