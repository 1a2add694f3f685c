#pragma once

#include "CHidDevice.h"
#include "DeviceProtocol.h"
#include "FirmwareHeader.h"
#include "FirmwareVersion.h"
#include "SignaturePolicy.h"
#include "UpdateFailure.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class HidSystem;

// Holds the loaded update file, the device in use and the state of an update run.
// One per update page. Files are loaded on the user-interface thread; the device
// search and the protocol run on the update worker. The file state is guarded so
// the worker can read the header while a file is loaded; the image itself must not
// be replaced while a run sends it (the worker refuses loads during a run).
class CFirmwareUpdater {
public:
    // With no system given, the real HID devices of this OS are used.
    explicit CFirmwareUpdater(std::shared_ptr<HidSystem> hid = nullptr);
    ~CFirmwareUpdater();
    CFirmwareUpdater(const CFirmwareUpdater&) = delete;
    CFirmwareUpdater& operator=(const CFirmwareUpdater&) = delete;

    // ---- The update file ----

    // Loads and checks an update file, and its signature when a policy is set. On
    // failure no file is loaded afterwards, unless the IDs came from an identity
    // text: then everything stays as it was.
    bool loadFile(const char* path);
    // The same from an already opened stream, which the updater takes over
    // (null counts as a file that could not be opened). Having no name, it has no
    // signature file beside it.
    bool loadFromStream(std::FILE* stream);
    // The same from the bytes of a file read and checked before, its signature
    // included (factory mode hands every unit the copy it checked at its start).
    bool loadFromBytes(const std::vector<uint8_t>& bytes);
    // The trusted keys and their rule, applied to every file loaded from then on
    // (none: signatures are not looked at).
    void setSignaturePolicy(std::shared_ptr<const SignaturePolicy> policy);
    // What the last load found out about the file's signature.
    SignatureCheck lastSignature() const;
    // The loaded file's bytes (empty when none).
    std::vector<uint8_t> fileBytes() const;
    void unloadFile();
    // Releases everything: file, device information, device.
    void teardown();

    bool fileLoaded() const;
    FirmwareHeader header() const;
    uint16_t vendorId() const { return header().vendorId(); }
    uint16_t productId() const { return header().productId(); }
    std::string deviceName() const { return header().deviceName(); }
    FirmwareVersion fileVersion() const { return header().version(); }
    uint32_t imageLength() const { return header().imageLength(); }
    // Null when no file is loaded. A loaded file always holds its whole image.
    const uint8_t* imageStart() const;
    size_t fileSize() const;
    bool explicitIdentity() const { return explicitIdentity_.load(); }
    // Search IDs taken from an identity text instead of a file, kept apart from the
    // loaded file's header (which stays as the file says); from now on a failed load
    // keeps what is loaded.
    void setExplicitIdentity(uint16_t vendorId, uint16_t productId);
    // The IDs the device is searched with: the identity's when one is set, else the
    // loaded file's; false when there is nothing to look for.
    bool targetIds(uint16_t& vendorId, uint16_t& productId) const;

    // ---- Device search (worker thread) ----

    // Is a device with the file's (or identity's) IDs present? Never opens it.
    bool devicePresent();
    // Takes the IDs from a text such as "vid_1209&pid_0001" and opens the device.
    bool findById(const char* identity);
    // The IDs such a text names; false when either is missing or too long.
    static bool parseIdentity(const char* identity, uint16_t& vendorId, uint16_t& productId);
    CHidDevice& device() { return device_; }
    // Closes the device in use, with the copies the search kept of it.
    void closeDevice();

    // The physical device this updater is bound to. The first opening of a device
    // binds it; from then on every search finds only that unit's interfaces (the same
    // path while it stays; after it left, the same serial, or without one the same
    // port), so that no retry and no device view ever moves to a twin.
    std::optional<HidInterface> boundUnit() const;
    void unbindUnit();
    // The device in use is given up when it is not the one the loaded file (or the
    // identity) names: sent its close request with its own IDs while open, closed,
    // and its information forgotten. True when one was given up.
    bool releaseForeignDevice();

    // ---- Protocol (worker thread) ----

    bool sendRequest(uint8_t length, const uint8_t* data, int timeoutMs = CHidDevice::kTransferTimeoutMs);
    // Reads until a well-formed response arrives or 2000 ms passed.
    bool awaitResponse();
    // Opens the device if needed and learns its versions and block size once.
    bool queryInfo();
    // Writes the loaded image block by block; progress gets the percentage sent.
    // When abort becomes true the run fails before its next report.
    bool runUpdate(std::atomic<int>& progress, const std::atomic<bool>* abort = nullptr);
    // The close request for the loaded file's (or identity's) device, given
    // `timeoutMs` to be taken.
    void sendClose(int timeoutMs = CHidDevice::kTransferTimeoutMs);

    // What the device reported, readable from any thread. 0xFF bytes / 0 until then.
    FirmwareVersion hardwareVersion() const { return unpackVersion(hardwareVersion_.load()); }
    FirmwareVersion firmwareVersion() const { return unpackVersion(firmwareVersion_.load()); }
    uint32_t blockSize() const { return blockSize_.load(); }
    // Blocks the device accepted in the current run, readable from any thread.
    uint32_t blocksDone() const { return blocksDone_.load(); }
    // Why the last failed information query or run failed (worker thread).
    const UpdateFailure& lastFailure() const { return lastFailure_; }

    // Block sizes and counts are carried in 16-bit fields.
    static constexpr uint32_t kMaxBlockSize = 65535;
    static constexpr uint32_t kMaxBlockCount = 65535;
    // Between reads that failed at once, while the device is still listed.
    static constexpr int kReadRetryPauseMs = 10;
    // Silent interfaces of one unit passed over before its information query fails.
    static constexpr size_t kMaxInterfacesTried = 8;

private:
    bool failLoad();
    // Notes why the protocol failed; returns false for the caller to pass on.
    bool fail(UpdateFailure::Kind kind, int block = -1, uint32_t value = 0, uint32_t other = 0);
    // After a transfer failed: gone when the interface is no longer listed.
    bool deviceStillListed();
    // Why an opening search opened nothing.
    UpdateFailure::Kind unopenedKind(const std::string& pattern);
    // An opening search within the bound unit (any unit while unbound).
    void openDevice(const std::string& pattern, const std::vector<std::string>& tried);
    bool askInfo();
    // Forgets the last signature and, unless the IDs came from an identity text,
    // the loaded file.
    void beginLoad();
    bool loadFromStream(std::FILE* stream, const std::string* path);
    // Adopts a file already read into buffer (lock not held); path names it for its
    // signature (null: a file without a name, or one whose signature was checked).
    bool adoptFile(std::unique_ptr<uint8_t[]> buffer, size_t size, std::FILE* stream,
                   const std::string* path, bool signatureChecked);
    void unloadLocked();
    void resetDeviceInfo();
    // Clears data and fills the fields every request starts with.
    void beginRequest(uint8_t (&data)[kMaxReportData], uint8_t command, uint8_t payload) const;
    void beginRequest(uint8_t (&data)[kMaxReportData], uint8_t command, uint8_t payload,
                      uint16_t vendorId, uint16_t productId) const;
    static uint32_t packVersion(const FirmwareVersion& v) {
        return (uint32_t{v.major} << 16) | (uint32_t{v.minor} << 8) | v.build;
    }
    static FirmwareVersion unpackVersion(uint32_t packed) {
        return FirmwareVersion{static_cast<uint8_t>(packed >> 16), static_cast<uint8_t>(packed >> 8),
                               static_cast<uint8_t>(packed)};
    }

    std::shared_ptr<HidSystem> hid_;

    mutable std::mutex fileLock_; // stream, buffer and header
    std::FILE* stream_ = nullptr;
    std::unique_ptr<uint8_t[]> fileBuffer_;
    size_t fileSize_ = 0;
    std::shared_ptr<const SignaturePolicy> signatures_; // guarded by fileLock_
    SignatureCheck lastSignature_;                      // guarded by fileLock_

    CHidDevice device_;

    // Update run counters, set at the start of every run.
    uint16_t blockIndex_ = 0;
    uint16_t lastBlockIndex_ = 0;
    uint32_t blockCrc_ = 0;
    uint32_t totalLength_ = 0;
    uint32_t remaining_ = 0;
    uint16_t leftInBlock_ = 0;
    uint16_t packetIndex_ = 0;
    uint8_t dataRequest_[kMaxReportData] = {};
    const uint8_t* imageCursor_ = nullptr;

    FirmwareHeader header_;

    static constexpr uint32_t kNoVersion = 0xFFFFFF;
    std::atomic<uint32_t> hardwareVersion_{kNoVersion};
    std::atomic<uint32_t> firmwareVersion_{kNoVersion};
    std::atomic<uint32_t> blockSize_{0};
    uint8_t requestReport_[kReportSize] = {};
    uint8_t responseReport_[kReportSize] = {};
    std::unique_ptr<uint8_t[]> staging_; // its presence marks the device info as known
    size_t stagingSize_ = 0;
    std::atomic<uint32_t> blocksDone_{0};
    bool malformedSeen_ = false; // during the last awaitResponse
    // The stop flag of the run in progress (worker thread only): looked at between
    // a request and the wait for its answer, so a stop waits for one transfer.
    const std::atomic<bool>* runAbort_ = nullptr;
    UpdateFailure lastFailure_;

    std::atomic<bool> explicitIdentity_{false};
    std::atomic<uint32_t> identityIds_{0}; // vendor << 16 | product

    mutable std::mutex unitLock_;
    std::optional<HidInterface> boundUnit_; // guarded by unitLock_
};
