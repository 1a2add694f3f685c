#include "CFirmwareUpdater.h"

#include "ByteOrder.h"
#include "Checksums.h"
#include "DeviceSearch.h"
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
    return stream_ != nullptr;
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
    std::lock_guard<std::mutex> guard(fileLock_);
    header_.setVendorId(vendorId);
    header_.setProductId(productId);
    explicitIdentity_ = true;
}

bool CFirmwareUpdater::loadFile(const char* path) {
    // Only a regular file: opening a FIFO or a device (a dropped path can name
    // anything) would block the window's thread.
    std::error_code error;
    if (!path || !std::filesystem::is_regular_file(path, error))
        return loadFromStream(nullptr);
    return loadFromStream(std::fopen(path, "rb"));
}

bool CFirmwareUpdater::failLoad() {
    if (!explicitIdentity_)
        unloadFile();
    return false;
}

bool CFirmwareUpdater::loadFromStream(std::FILE* stream) {
    // The previous file goes first, so that a failed load leaves none loaded.
    if (!explicitIdentity_)
        unloadFile();
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
    if (checkUpdateFile(buffer.get(), size) != UpdateFileCheck::Ok)
        return failLoad();

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
    unloadFile();
    resetDeviceInfo();
    device_.close();
}

// ---- Device search ----

bool CFirmwareUpdater::devicePresent() {
    if (!fileLoaded() && !explicitIdentity_)
        return false;
    const FirmwareHeader current = header();
    if (findDevice(*hid_, device_, devicePattern(current.vendorId(), current.productId()), false) !=
        kDeviceNone)
        return true;
    device_.close();
    return false;
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
        device_.close();
        return false;
    }
    setExplicitIdentity(vendorId, productId);
    if (findDevice(*hid_, device_, devicePattern(vendorId, productId), true) != kDeviceNone)
        return true;
    device_.close();
    return false;
}

// ---- Protocol ----

bool CFirmwareUpdater::sendRequest(uint8_t length, const uint8_t* data) {
    frameReport(requestReport_, data, length);
    return device_.writeReport(requestReport_);
}

bool CFirmwareUpdater::fail(UpdateFailure::Kind kind, int block, uint32_t value, uint32_t other) {
    lastFailure_ = UpdateFailure{kind, block, value, other};
    return false;
}

bool CFirmwareUpdater::deviceStillListed() {
    std::vector<std::string> paths;
    return hid_->listInterfaces(paths) &&
           std::find(paths.begin(), paths.end(), device_.path()) != paths.end();
}

UpdateFailure::Kind CFirmwareUpdater::unopenedKind(const std::string& pattern) {
    std::vector<std::string> paths;
    if (!hid_->listInterfaces(paths))
        return UpdateFailure::Kind::NotConnected;
    UpdateFailure::Kind kind = UpdateFailure::Kind::NotConnected;
    for (const std::string& path : paths) {
        if (!pathMatchesPattern(path, pattern))
            continue;
        std::unique_ptr<HidConnection> probe;
        const HidOpenStatus status = hid_->open(path, probe);
        if (status == HidOpenStatus::PermissionDenied)
            return UpdateFailure::Kind::PermissionDenied; // the one the user can fix
        if (status == HidOpenStatus::Failed)
            kind = UpdateFailure::Kind::Busy;
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
            // A gone device fails at once; don't spin a core until the limit.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (reportWellFormed(responseReport_))
            return true;
        malformedSeen_ = true;
    }
}

void CFirmwareUpdater::beginRequest(uint8_t (&data)[kMaxReportData], uint8_t command,
                                    uint8_t payload) const {
    const FirmwareHeader current = header();
    beginRequest(data, command, payload, current.vendorId(), current.productId());
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
    std::lock_guard<std::mutex> guard(fileLock_);
    if (!stream_ && !explicitIdentity_)
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
    device_.close();
    resetDeviceInfo();
    return true;
}

bool CFirmwareUpdater::queryInfo() {
    if (!fileLoaded() && !explicitIdentity_)
        return fail(UpdateFailure::Kind::NoFile);
    releaseForeignDevice(); // never another device's information, never its handle
    if (!device_.isOpen()) {
        resetDeviceInfo();
        const FirmwareHeader current = header();
        const std::string pattern = devicePattern(current.vendorId(), current.productId());
        findDevice(*hid_, device_, pattern, true);
        if (!device_.isOpen())
            return fail(unopenedKind(pattern));
    }
    if (staging_)
        return true;

    uint8_t data[kMaxReportData];
    beginRequest(data, CMD_GET_INFO, 0);
    sendRequest(static_cast<uint8_t>(kRequestHeaderLength), data); // a lost request shows as no answer
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
    if (!fileLoaded() && !explicitIdentity_)
        return fail(UpdateFailure::Kind::NoFile);
    if (!queryInfo())
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

void CFirmwareUpdater::sendClose() {
    uint8_t data[kMaxReportData];
    beginRequest(data, CMD_CLOSE, 0);
    sendRequest(static_cast<uint8_t>(kRequestHeaderLength), data);
}
