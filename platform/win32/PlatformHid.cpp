#include "PlatformHid.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>
extern "C" { // mingw's hidsdi.h declares its functions without C linkage
#include <hidsdi.h>
}

#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// One transfer's buffer and completion record. A transfer that the driver does not
// give back after its cancel keeps them (it is parked): the driver may still write
// into them at any time, so they are never freed or reused before it completes.
struct TransferRecord {
    explicit TransferRecord(HANDLE event) {
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = event;
    }
    ~TransferRecord() {
        if (overlapped.hEvent && overlapped.hEvent != INVALID_HANDLE_VALUE)
            CloseHandle(overlapped.hEvent);
    }
    TransferRecord(const TransferRecord&) = delete;
    TransferRecord& operator=(const TransferRecord&) = delete;

    OVERLAPPED overlapped;
    uint8_t buffer[kHidTransferSize] = {};
};

// Parked records, freed once their transfer completed. Bounded: past the limit the
// oldest still pending are kept anyway (freeing them is what must never happen).
class ParkedTransfers {
public:
    void park(std::unique_ptr<TransferRecord> record) {
        std::lock_guard<std::mutex> guard(lock_);
        std::erase_if(records_, [](const std::unique_ptr<TransferRecord>& parked) {
            return HasOverlappedIoCompleted(&parked->overlapped);
        });
        records_.push_back(std::move(record));
    }
    size_t count() {
        std::lock_guard<std::mutex> guard(lock_);
        return records_.size();
    }

private:
    std::mutex lock_;
    std::vector<std::unique_ptr<TransferRecord>> records_;
};

ParkedTransfers& parkedTransfers() {
    static ParkedTransfers* parked = new ParkedTransfers; // outlives every connection
    return *parked;
}

class Win32HidConnection : public HidConnection {
public:
    // Takes over both handles. claimName: the named mutex that marks this interface
    // as held by an updater.
    Win32HidConnection(HANDLE handle, HANDLE event, std::string claimName, HidIoHooks hooks,
                       HANDLE claim = nullptr)
        : handle_(handle), record_(std::make_unique<TransferRecord>(event)),
          claimName_(std::move(claimName)), claim_(claim), hooks_(std::move(hooks)) {}
    ~Win32HidConnection() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CancelIo(handle_);
            CloseHandle(handle_);
        }
        if (record_ && !HasOverlappedIoCompleted(&record_->overlapped))
            parkedTransfers().park(std::move(record_));
        if (claim_)
            CloseHandle(claim_);
    }

    std::unique_ptr<HidConnection> duplicate() const override {
        const HANDLE process = GetCurrentProcess();
        HANDLE handle = INVALID_HANDLE_VALUE, event = INVALID_HANDLE_VALUE;
        if (!DuplicateHandle(process, handle_, process, &handle, 0, FALSE, DUPLICATE_SAME_ACCESS))
            return nullptr;
        if (!DuplicateHandle(process, record_->overlapped.hEvent, process, &event, 0, FALSE,
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
        return std::make_unique<Win32HidConnection>(handle, event, claimName_, hooks_, claim);
    }

    bool write(const uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
        if (!ready())
            return false;
        std::memcpy(record_->buffer, transfer, kHidTransferSize);
        return run(true, timeoutMs);
    }

    bool read(uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
        if (!ready())
            return false;
        std::memset(record_->buffer, 0, kHidTransferSize);
        if (!run(false, timeoutMs))
            return false;
        std::memcpy(transfer, record_->buffer, kHidTransferSize);
        return true;
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

private:
    static constexpr int kMaxDiscarded = 256;
    static constexpr DWORD kCancelWaitMs = 1000;

    // A record whose transfer could not be given back was parked: with no event for
    // a new one, the connection is as good as gone.
    bool ready() const { return record_ && record_->overlapped.hEvent; }

    // One transfer, judged by its real outcome: a completion (at once or signalled)
    // counts only without an error and with the whole 65 bytes moved. A removed device
    // completes a pending read with an error, a failed USB transaction a write.
    bool run(bool isWrite, int timeoutMs) {
        OVERLAPPED& overlapped = record_->overlapped;
        overlapped.Offset = overlapped.OffsetHigh = 0;
        overlapped.Internal = overlapped.InternalHigh = 0;
        const BOOL done =
            isWrite ? WriteFile(handle_, record_->buffer, kHidTransferSize, nullptr, &overlapped)
                    : ReadFile(handle_, record_->buffer, kHidTransferSize, nullptr, &overlapped);
        if (!done) {
            if (GetLastError() != ERROR_IO_PENDING)
                return false;
            if (WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
                cancel();
                return false;
            }
        }
        DWORD moved = 0;
        return GetOverlappedResult(handle_, &overlapped, &moved, FALSE) && moved == kHidTransferSize;
    }

    // Cancels this transfer only (not the other threads' on the handle) and waits for
    // it a bounded time; one still pending then is parked with its buffer, and the
    // connection goes on with a record of its own.
    void cancel() {
        OVERLAPPED& overlapped = record_->overlapped;
        if (hooks_.cancel)
            hooks_.cancel(handle_, &overlapped);
        else
            CancelIoEx(handle_, &overlapped);
        if (WaitForSingleObject(overlapped.hEvent, kCancelWaitMs) == WAIT_OBJECT_0 ||
            HasOverlappedIoCompleted(&overlapped)) {
            DWORD moved = 0;
            GetOverlappedResult(handle_, &overlapped, &moved, FALSE);
            return;
        }
        parkedTransfers().park(std::move(record_));
        record_ = std::make_unique<TransferRecord>(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    }

    HANDLE handle_;
    std::unique_ptr<TransferRecord> record_;
    std::string claimName_;
    HANDLE claim_ = nullptr;
    HidIoHooks hooks_;
};

// What the interface itself says: the device's serial number and the collection's
// report lengths, read through a handle that asks for no access (which works also
// for collections the system keeps for itself).
void askInterface(const std::string& path, std::string& serial, uint16_t& input, uint16_t& output) {
    const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    wchar_t text[128] = {};
    std::string narrow;
    if (HidD_GetSerialNumberString(handle, text, sizeof text - sizeof text[0]))
        for (size_t i = 0; i < 127 && text[i]; ++i)
            narrow += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    serial = printableUnitText(narrow);
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (HidD_GetPreparsedData(handle, &preparsed)) {
        HIDP_CAPS caps{};
        if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
            input = caps.InputReportByteLength;
            output = caps.OutputReportByteLength;
        }
        HidD_FreePreparsedData(preparsed);
    }
    CloseHandle(handle);
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
    if (!enumerate(interfaces))
        return false;
    for (HidInterface& entry : interfaces)
        addFacts(entry);
    return true;
}

bool SetupApiHidSystem::enumerate(std::vector<HidInterface>& interfaces) {
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
            entry.serial = instanceSerialOf(usb); // unless the device says otherwise
            entry.location = locationOf(usb);
            interfaces.push_back(std::move(entry));
        }
        GlobalFree(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

void SetupApiHidSystem::addFacts(HidInterface& entry) {
    // Asked of the device once per interface: the answer names the unit for as long as
    // the interface is there, and a device that is slow to answer slows one listing.
    Facts facts;
    {
        std::lock_guard<std::mutex> guard(factsLock_);
        const auto known = facts_.find(entry.path);
        if (known != facts_.end()) {
            facts = known->second;
        } else {
            if (hooks_.reportLengths)
                hooks_.reportLengths(entry.path, facts.inputLength, facts.outputLength);
            else
                askInterface(entry.path, facts.serial, facts.inputLength, facts.outputLength);
            if (facts_.size() >= kMaxRemembered)
                facts_.clear();
            facts_.emplace(entry.path, facts);
        }
    }
    if (!facts.serial.empty())
        entry.serial = facts.serial;
    entry.inputReportLength = facts.inputLength;
    entry.outputReportLength = facts.outputLength;
}

HidOpenStatus SetupApiHidSystem::open(const std::string& path,
                                      std::unique_ptr<HidConnection>& connection) {
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return openStatusOf(GetLastError());
    const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event) {
        CloseHandle(handle);
        return HidOpenStatus::Failed;
    }
    connection = std::make_unique<Win32HidConnection>(handle, event, claimNameOf(path), hooks_);
    return HidOpenStatus::Opened;
}

std::shared_ptr<HidSystem> createPlatformHidSystem() {
    return std::make_shared<SetupApiHidSystem>();
}

HidOpenStatus SetupApiHidSystem::openStatusOf(unsigned long error) {
    switch (error) {
    case ERROR_ACCESS_DENIED: // a collection the system keeps, or one that needs rights
        return HidOpenStatus::PermissionDenied;
    case ERROR_SHARING_VIOLATION: // another program opened it without sharing
        return HidOpenStatus::Busy;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
        return HidOpenStatus::Gone;
    default:
        return HidOpenStatus::Failed;
    }
}

const char* hidAccessDeniedCause() {
    return "access denied by the system";
}

// Not a matter of other programs: closing them would not help.
std::vector<std::string> hidAccessAdvice(const std::string& path, uint16_t, uint16_t) {
    return {"The device is connected, but Windows denies access to it (access denied by the system):",
            path,
            "Windows keeps some devices for itself, and some need administrator rights."};
}

size_t parkedHidTransfers() {
    return parkedTransfers().count();
}
