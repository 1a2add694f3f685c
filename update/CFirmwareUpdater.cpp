#include "CFirmwareUpdater.h"

#include "ByteOrder.h"
#include "Checksums.h"
#include "DeviceSearch.h"
#include "FileAccess.h"
#include "HidSystem.h"
#include "UpdateFileCheck.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <new>
#include <thread>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

CFirmwareUpdater::CFirmwareUpdater(std::shared_ptr<HidSystem> hid)
    : hid_(hid ? std::move(hid) : createPlatformHidSystem()) {}

CFirmwareUpdater::~CFirmwareUpdater() {
    teardown();
}

// ---- The update file ----

bool CFirmwareUpdater::fileLoaded() const {
    std::lock_guard<std::mutex> guard(fileLock_);
    return fileBuffer_ != nullptr;
}

std::vector<uint8_t> CFirmwareUpdater::fileBytes() const {
    std::lock_guard<std::mutex> guard(fileLock_);
    return fileBuffer_ ? std::vector<uint8_t>(fileBuffer_.get(), fileBuffer_.get() + fileSize_)
                       : std::vector<uint8_t>();
}

FirmwareHeader CFirmwareUpdater::header() const {
    std::lock_guard<std::mutex> guard(fileLock_);
    return header_;
}

const uint8_t* CFirmwareUpdater::imageStart() const {
    std::lock_guard<std::mutex> guard(fileLock_);
    return fileBuffer_ ? fileBuffer_.get() + FirmwareHeader::kSize : nullptr;
}

size_t CFirmwareUpdater::fileSize() const {
    std::lock_guard<std::mutex> guard(fileLock_);
    return fileSize_;
}

void CFirmwareUpdater::setExplicitIdentity(uint16_t vendorId, uint16_t productId) {
    // Never into the header: the loaded file's IDs are what every check compares.
    identityIds_ = (uint32_t{vendorId} << 16) | productId;
    explicitIdentity_ = true;
}

bool CFirmwareUpdater::loadFile(const char* path) {
    // Only a regular file: opening a FIFO or a device (a dropped path can name
    // anything) would block the window's thread.
    std::error_code error;
    if (!path || !std::filesystem::is_regular_file(pathFromUtf8(path), error))
        return loadFromStream(nullptr);
    const std::string name(path);
    return loadFromStream(openFile(name, "rb"), &name);
}

void CFirmwareUpdater::setSignaturePolicy(std::shared_ptr<const SignaturePolicy> policy) {
    std::lock_guard<std::mutex> guard(fileLock_);
    signatures_ = std::move(policy);
}

SignatureCheck CFirmwareUpdater::lastSignature() const {
    std::lock_guard<std::mutex> guard(fileLock_);
    return lastSignature_;
}

bool CFirmwareUpdater::failLoad() {
    if (!explicitIdentity_)
        unloadFile();
    return false;
}

void CFirmwareUpdater::beginLoad() {
    {
        std::lock_guard<std::mutex> guard(fileLock_);
        lastSignature_ = SignatureCheck{};
    }
    // The previous file goes first, so that a failed load leaves none loaded.
    if (!explicitIdentity_)
        unloadFile();
}

bool CFirmwareUpdater::loadFromStream(std::FILE* stream) {
    return loadFromStream(stream, nullptr);
}

bool CFirmwareUpdater::loadFromStream(std::FILE* stream, const std::string* path) {
    beginLoad();
    if (!stream)
        return failLoad();

    // Everything is read into locals and only taken over once every check passed:
    // with the identity flag set a failed load must leave the loaded file intact.
    std::unique_ptr<std::FILE, FileCloser> file(stream);
    if (std::fseek(stream, 0, SEEK_END) != 0)
        return failLoad();
    const long length = std::ftell(stream);
    if (length < static_cast<long>(FirmwareHeader::kSize) ||
        static_cast<uint64_t>(length) > kMaxUpdateFileSize)
        return failLoad();
    const size_t size = static_cast<size_t>(length);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
    if (!buffer || std::fseek(stream, 0, SEEK_SET) != 0 ||
        std::fread(buffer.get(), 1, size, stream) != size)
        return failLoad();
    return adoptFile(std::move(buffer), size, file.release(), path, false);
}

bool CFirmwareUpdater::loadFromBytes(const std::vector<uint8_t>& bytes) {
    beginLoad();
    if (bytes.size() < FirmwareHeader::kSize || bytes.size() > kMaxUpdateFileSize)
        return failLoad();
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[bytes.size()]);
    if (!buffer)
        return failLoad();
    std::memcpy(buffer.get(), bytes.data(), bytes.size());
    return adoptFile(std::move(buffer), bytes.size(), nullptr, nullptr, true);
}

bool CFirmwareUpdater::adoptFile(std::unique_ptr<uint8_t[]> buffer, size_t size, std::FILE* stream,
                                 const std::string* path, bool signatureChecked) {
    std::unique_ptr<std::FILE, FileCloser> file(stream);
    if (checkUpdateFile(buffer.get(), size) != UpdateFileCheck::Ok)
        return failLoad();
    // The signature is checked on this very copy, the bytes that will be written: a
    // file changed on disk after its check cannot slip through.
    std::shared_ptr<const SignaturePolicy> policy;
    {
        std::lock_guard<std::mutex> guard(fileLock_);
        policy = signatures_;
    }
    if (policy && !signatureChecked) {
        const SignatureCheck check = path ? policy->checkFile(*path, buffer.get(), size)
                                          : policy->check(buffer.get(), size, std::nullopt);
        {
            std::lock_guard<std::mutex> guard(fileLock_);
            lastSignature_ = check;
        }
        if (!check.loads())
            return failLoad();
    }
    std::lock_guard<std::mutex> guard(fileLock_);
    unloadLocked();
    header_.assign(buffer.get());
    stream_ = file.release();
    fileBuffer_ = std::move(buffer);
    fileSize_ = size;
    return true;
}

void CFirmwareUpdater::unloadFile() {
    std::lock_guard<std::mutex> guard(fileLock_);
    unloadLocked();
}

void CFirmwareUpdater::unloadLocked() {
    header_.clear();
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    fileBuffer_.reset();
    fileSize_ = 0;
}

void CFirmwareUpdater::resetDeviceInfo() {
    staging_.reset();
    stagingSize_ = 0;
    blockSize_ = 0;
    hardwareVersion_ = kNoVersion;
    firmwareVersion_ = kNoVersion;
}

void CFirmwareUpdater::teardown() {
    explicitIdentity_ = false;
    unbindUnit();
    unloadFile();
    resetDeviceInfo();
    closeDevice();
}

// ---- Device search ----

bool CFirmwareUpdater::devicePresent() {
    uint16_t vendorId = 0, productId = 0;
    if (!targetIds(vendorId, productId))
        return false;
    const std::optional<HidInterface> unit = boundUnit();
    SearchScope scope;
    scope.unit = unit ? &*unit : nullptr;
    HidInterface found;
    scope.firstFound = &found;
    if (findDevice(*hid_, device_, devicePattern(vendorId, productId), false, scope) != kDeviceNone) {
        // The unit found is the one the view shows from now on, also before it is
        // opened: an update never goes to a twin in its place.
        std::lock_guard<std::mutex> guard(unitLock_);
        if (!boundUnit_ && device_.isEmpty())
            boundUnit_ = found;
        return true;
    }
    // The unit shown is gone: whatever comes next is another unit until it proves
    // otherwise, and is asked for its own information.
    closeDevice();
    unbindUnit();
    resetDeviceInfo();
    return false;
}

void CFirmwareUpdater::closeDevice() {
    if (!device_.path().empty())
        releaseFromOpenDeviceList(device_.path());
    device_.close();
}

std::optional<HidInterface> CFirmwareUpdater::boundUnit() const {
    std::lock_guard<std::mutex> guard(unitLock_);
    return boundUnit_;
}

void CFirmwareUpdater::unbindUnit() {
    std::lock_guard<std::mutex> guard(unitLock_);
    boundUnit_.reset();
}

void CFirmwareUpdater::openDevice(const std::string& pattern, const std::vector<std::string>& tried) {
    const std::optional<HidInterface> unit = boundUnit();
    SearchScope scope;
    scope.unit = unit ? &*unit : nullptr;
    scope.skip = &tried;
    findDevice(*hid_, device_, pattern, true, scope);
    if (device_.isOpen() && !unit) {
        std::lock_guard<std::mutex> guard(unitLock_);
        boundUnit_ = device_.where();
    }
}

namespace {

// The hexadecimal number right after the first occurrence of marker. An ID that
// is missing, has no digits or does not fit 16 bits names no device: cutting it
// down to 16 bits could name a different one.
bool idAfter(const std::string& text, const char* marker, uint16_t& id) {
    const size_t at = text.find(marker);
    if (at == std::string::npos)
        return false;
    uint32_t value = 0;
    size_t digits = 0;
    for (size_t i = at + std::strlen(marker); i < text.size(); ++i, ++digits) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * 16 + static_cast<uint32_t>(digit);
        if (value > 0xFFFF)
            return false;
    }
    id = static_cast<uint16_t>(value);
    return digits > 0;
}

} // namespace

bool CFirmwareUpdater::parseIdentity(const char* identity, uint16_t& vendorId,
                                     uint16_t& productId) {
    return identity && idAfter(identity, "vid_", vendorId) && idAfter(identity, "pid_", productId);
}

bool CFirmwareUpdater::findById(const char* identity) {
    uint16_t vendorId = 0, productId = 0;
    if (!parseIdentity(identity, vendorId, productId)) {
        closeDevice();
        return false;
    }
    setExplicitIdentity(vendorId, productId);
    openDevice(devicePattern(vendorId, productId), {});
    return device_.isOpen();
}

// ---- Protocol ----

bool CFirmwareUpdater::sendRequest(uint8_t length, const uint8_t* data, int timeoutMs) {
    // Whatever came in before this request (a late answer to an earlier one) must
    // not be taken for its answer.
    device_.discardInput();
    frameReport(requestReport_, data, length);
    return device_.writeReport(requestReport_, timeoutMs);
}

bool CFirmwareUpdater::fail(UpdateFailure::Kind kind, int block, uint32_t value, uint32_t other) {
    lastFailure_ = UpdateFailure{kind, block, value, other};
    return false;
}

bool CFirmwareUpdater::deviceStillListed() {
    std::vector<HidInterface> interfaces;
    if (!hid_->listInterfaces(interfaces))
        return false;
    return std::any_of(interfaces.begin(), interfaces.end(),
                       [this](const HidInterface& entry) { return isDeviceInUse(entry, device_); });
}

UpdateFailure::Kind CFirmwareUpdater::unopenedKind(const std::string& pattern) {
    std::vector<HidInterface> interfaces;
    if (!hid_->listInterfaces(interfaces))
        return UpdateFailure::Kind::NotConnected;
    const std::optional<HidInterface> unit = boundUnit();
    UpdateFailure::Kind kind = UpdateFailure::Kind::NotConnected;
    for (const HidInterface& entry : interfaces) {
        if (!pathMatchesPattern(entry.path, pattern) || !entry.carriesUpdates() ||
            (unit && !entry.sameUnit(*unit)))
            continue;
        std::unique_ptr<HidConnection> probe;
        const HidOpenStatus status = hid_->open(entry.path, probe);
        if (status == HidOpenStatus::PermissionDenied)
            return UpdateFailure::Kind::PermissionDenied; // the one the user can fix
        if (status == HidOpenStatus::Busy || status == HidOpenStatus::Failed)
            kind = UpdateFailure::Kind::Busy;
        else if (probe && !probe->claimExclusive() && kind == UpdateFailure::Kind::NotConnected)
            kind = UpdateFailure::Kind::InUse;
    }
    return kind;
}

bool CFirmwareUpdater::awaitResponse() {
    using Clock = std::chrono::steady_clock;
    malformedSeen_ = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(CHidDevice::kTransferTimeoutMs);
    for (;;) {
        // Each read gets only what is left: a malformed reply must not restart the wait.
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        std::memset(responseReport_, 0, sizeof responseReport_);
        if (!device_.readReport(responseReport_, static_cast<int>(left))) {
            // A removed device fails every read at once: that is its answer, not a
            // reason to read again and again until the limit.
            if (!deviceStillListed())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(kReadRetryPauseMs));
            continue;
        }
        if (reportWellFormed(responseReport_))
            return true;
        malformedSeen_ = true;
    }
}

void CFirmwareUpdater::beginRequest(uint8_t (&data)[kMaxReportData], uint8_t command,
                                    uint8_t payload) const {
    // The loaded file's IDs; before a file is there, the identity's.
    const FirmwareHeader current = header();
    uint16_t vendorId = current.vendorId(), productId = current.productId();
    if (!fileLoaded())
        targetIds(vendorId, productId);
    beginRequest(data, command, payload, vendorId, productId);
}

void CFirmwareUpdater::beginRequest(uint8_t (&data)[kMaxReportData], uint8_t command,
                                    uint8_t payload, uint16_t vendorId, uint16_t productId) const {
    std::memset(data, 0, sizeof data);
    byteorder::writeLe16(data + kRequestVendor, vendorId);
    byteorder::writeLe16(data + kRequestProduct, productId);
    data[kRequestFixed] = kRequestFixedValue;
    data[kRequestPayloadLength] = payload;
    data[kRequestCommand] = command;
}

bool CFirmwareUpdater::targetIds(uint16_t& vendorId, uint16_t& productId) const {
    if (explicitIdentity_) {
        const uint32_t ids = identityIds_;
        vendorId = static_cast<uint16_t>(ids >> 16);
        productId = static_cast<uint16_t>(ids);
        return true;
    }
    std::lock_guard<std::mutex> guard(fileLock_);
    if (!fileBuffer_)
        return false;
    vendorId = header_.vendorId();
    productId = header_.productId();
    return true;
}

bool CFirmwareUpdater::releaseForeignDevice() {
    if (device_.isEmpty())
        return false;
    uint16_t vendorId = 0, productId = 0;
    if (targetIds(vendorId, productId) &&
        pathMatchesPattern(device_.path(), devicePattern(vendorId, productId)))
        return false;
    uint16_t deviceVendor = 0, deviceProduct = 0;
    if (device_.isOpen() && idAfter(device_.path(), "vid_", deviceVendor) &&
        idAfter(device_.path(), "pid_", deviceProduct)) {
        uint8_t data[kMaxReportData];
        beginRequest(data, CMD_CLOSE, 0, deviceVendor, deviceProduct);
        sendRequest(static_cast<uint8_t>(kRequestHeaderLength), data);
    }
    closeDevice();
    unbindUnit();
    resetDeviceInfo();
    return true;
}

bool CFirmwareUpdater::queryInfo() {
    uint16_t vendorId = 0, productId = 0;
    if (!targetIds(vendorId, productId))
        return fail(UpdateFailure::Kind::NoFile);
    releaseForeignDevice(); // never another device's information, never its handle
    if (device_.isOpen() && staging_)
        return true;

    // Of a unit's interfaces, the one that answers is the unit's: one that stays
    // silent is passed over for the next of the same unit.
    const std::string pattern = devicePattern(vendorId, productId);
    std::vector<std::string> tried;
    if (!device_.isOpen())
        resetDeviceInfo();
    for (;;) {
        if (!device_.isOpen())
            openDevice(pattern, tried);
        if (!device_.isOpen()) {
            if (tried.empty())
                return fail(unopenedKind(pattern));
            const UpdateFailure::Kind rest = unopenedKind(pattern);
            return rest == UpdateFailure::Kind::InUse ? fail(rest) : false;
        }
        if (askInfo())
            return true;
        const bool silent = lastFailure_.kind == UpdateFailure::Kind::NoInfoReply;
        if (!silent || tried.size() >= kMaxInterfacesTried)
            return false;
        tried.push_back(device_.path());
        const HidInterface unit = device_.where();
        closeDevice();
        resetDeviceInfo();
        {
            std::lock_guard<std::mutex> guard(unitLock_);
            boundUnit_ = unit; // only the same unit's other interfaces
        }
    }
}

bool CFirmwareUpdater::askInfo() {
    uint8_t data[kMaxReportData];
    beginRequest(data, CMD_GET_INFO, 0);
    sendRequest(static_cast<uint8_t>(kRequestHeaderLength), data); // a lost request shows as no answer
    if (runAbort_ && runAbort_->load())
        return fail(UpdateFailure::Kind::Stopped);
    if (!awaitResponse())
        return fail(deviceStillListed() ? UpdateFailure::Kind::NoInfoReply
                                        : UpdateFailure::Kind::NotConnected);

    const uint8_t* r = responseReport_;
    hardwareVersion_ = packVersion(FirmwareVersion{r[kResponseHardwareBuild + 2],
                                                   r[kResponseHardwareBuild + 1],
                                                   r[kResponseHardwareBuild]});
    firmwareVersion_ = packVersion(FirmwareVersion{r[kResponseFirmwareBuild + 2],
                                                   r[kResponseFirmwareBuild + 1],
                                                   r[kResponseFirmwareBuild]});
    const uint32_t size = byteorder::readLe32(r + kResponseBlockSize);
    blockSize_ = size;
    // A block size that the 16-bit counters cannot carry is as unusable as none.
    if (size != 0 && size <= kMaxBlockSize) {
        stagingSize_ = (size + kMaxPacketPayload - 1) / kMaxPacketPayload * kHidTransferSize;
        staging_.reset(new (std::nothrow) uint8_t[stagingSize_]);
        if (!staging_)
            stagingSize_ = 0;
    }
    if (size == 0)
        return fail(UpdateFailure::Kind::BlockSizeZero);
    if (!staging_)
        return fail(UpdateFailure::Kind::BlockSizeTooLarge, -1, size);
    return true;
}

bool CFirmwareUpdater::runUpdate(std::atomic<int>& progress, const std::atomic<bool>* abort) {
    blocksDone_ = 0;
    if (!fileLoaded())
        return fail(UpdateFailure::Kind::NoFile); // nothing to write
    uint16_t vendorId = 0, productId = 0;
    targetIds(vendorId, productId);
    const FirmwareHeader loaded = header();
    if (loaded.vendorId() != vendorId || loaded.productId() != productId)
        return fail(UpdateFailure::Kind::FileForOtherDevice); // never an image for other IDs
    runAbort_ = abort;
    const bool known = queryInfo();
    runAbort_ = nullptr;
    if (!known)
        return false;
    const uint32_t size = blockSize_;
    if (size == 0)
        return fail(UpdateFailure::Kind::BlockSizeZero);
    if (size > kMaxBlockSize)
        return fail(UpdateFailure::Kind::BlockSizeTooLarge, -1, size);

    const FirmwareHeader current = header();
    const uint32_t length = current.imageLength();
    // Only whole blocks: the device's CRC covers a full block, and a short last
    // block would make it read past the image.
    if (length % size != 0)
        return fail(UpdateFailure::Kind::ImageNotWholeBlocks, -1, length, size);
    if (length / size > kMaxBlockCount)
        return fail(UpdateFailure::Kind::TooManyBlocks, -1, length / size);

    totalLength_ = remaining_ = length;
    blockIndex_ = 0;
    lastBlockIndex_ = static_cast<uint16_t>(length / size - 1);
    imageCursor_ = imageStart();
    lastFailure_ = UpdateFailure{};
    if (length == 0)
        return true;
    if (!imageCursor_)
        return fail(UpdateFailure::Kind::NoFile);

    auto aborted = [abort] { return abort && abort->load(); };
    auto writeFailed = [this] {
        return fail(deviceStillListed() ? UpdateFailure::Kind::ReportNotTaken
                                        : UpdateFailure::Kind::DeviceGone,
                    blockIndex_);
    };
    uint8_t data[kMaxReportData];
    while (remaining_ > 0) {
        if (aborted())
            return fail(UpdateFailure::Kind::Stopped, blockIndex_);
        blockCrc_ = blockCrc(imageCursor_, size / 4);
        beginRequest(data, CMD_BLOCK_START, 0);
        byteorder::writeLe16(data + kRequestBlockIndex, blockIndex_);
        byteorder::writeLe16(data + kRequestLastBlockIndex, lastBlockIndex_);
        byteorder::writeLe32(data + kRequestBlockCrc, blockCrc_);
        if (!sendRequest(static_cast<uint8_t>(kBlockStartLength), data))
            return writeFailed();

        leftInBlock_ = static_cast<uint16_t>(remaining_ < size ? remaining_ : size);
        packetIndex_ = 0;
        while (leftInBlock_ > 0) {
            if (aborted())
                return fail(UpdateFailure::Kind::Stopped, blockIndex_);
            size_t n = kMaxPacketPayload;
            if (leftInBlock_ <= kMaxPacketPayload) {
                n = leftInBlock_;
                packetIndex_ = kFinalPacketIndex;
            }
            beginRequest(dataRequest_, CMD_BLOCK_DATA, static_cast<uint8_t>(n));
            byteorder::writeLe16(dataRequest_ + kRequestPacketIndex, packetIndex_);
            std::memcpy(dataRequest_ + kRequestPayload, imageCursor_, n);
            const bool written =
                sendRequest(static_cast<uint8_t>(kRequestHeaderLength + n), dataRequest_);
            imageCursor_ += n;
            remaining_ -= static_cast<uint32_t>(n);
            leftInBlock_ = static_cast<uint16_t>(leftInBlock_ - n);
            ++packetIndex_;
            progress = static_cast<int>(100.0 - static_cast<double>(remaining_) / totalLength_ * 100.0);
            if (!written)
                return writeFailed();
        }

        if (aborted())
            return fail(UpdateFailure::Kind::Stopped, blockIndex_);
        if (!awaitResponse()) {
            if (!deviceStillListed())
                return fail(UpdateFailure::Kind::DeviceGone, blockIndex_);
            return fail(malformedSeen_ ? UpdateFailure::Kind::BadChecksum
                                       : UpdateFailure::Kind::NoReply,
                        blockIndex_);
        }
        if (responseReport_[kResponseStatus] != kStatusAccepted)
            return fail(UpdateFailure::Kind::Refused, blockIndex_,
                        responseReport_[kResponseStatus]);
        ++blockIndex_;
        ++blocksDone_;
    }
    return true;
}

void CFirmwareUpdater::sendClose(int timeoutMs) {
    uint8_t data[kMaxReportData];
    beginRequest(data, CMD_CLOSE, 0);
    sendRequest(static_cast<uint8_t>(kRequestHeaderLength), data, timeoutMs);
}
