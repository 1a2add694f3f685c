#include "CFirmwareUpdater.h"

#include "UpdateFileCheck.h"

#include <array>
#include <new>

namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;

// The file checksum's table: the unreflected polynomial in a right-shifting loop.
// Deliberately not the common 0xEDB88320 table; files in the field depend on it.
constexpr std::array<uint32_t, 256> makeFileTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> makeBlockTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x80000000u) ? (c << 1) ^ kPolynomial : c << 1;
        table[i] = c;
    }
    return table;
}

constexpr auto kFileTable = makeFileTable();
constexpr auto kBlockTable = makeBlockTable();

} // namespace

CFirmwareUpdater::CFirmwareUpdater() = default;

CFirmwareUpdater::~CFirmwareUpdater() {
    teardown();
}

uint32_t CFirmwareUpdater::fileChecksum(const uint8_t* bytes, size_t count) {
    uint32_t h = 0;
    for (size_t i = 0; i < count; ++i)
        h = (h >> 8) ^ kFileTable[(h ^ bytes[i]) & 0xFF];
    return ~h;
}

uint32_t CFirmwareUpdater::blockCrc(const uint8_t* words, size_t wordCount) {
    uint32_t h = 0xFFFFFFFFu;
    for (size_t i = 0; i < wordCount; ++i) {
        const uint8_t* p = words + 4 * i;
        uint32_t w = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        for (int byte = 0; byte < 4; ++byte) {
            h = (h << 8) ^ kBlockTable[((h >> 24) ^ (w >> 24)) & 0xFF];
            w <<= 8;
        }
    }
    return h;
}

const uint8_t* CFirmwareUpdater::imageStart() const {
    return fileBuffer_ ? fileBuffer_.get() + FirmwareHeader::kSize : nullptr;
}

bool CFirmwareUpdater::loadFile(const char* path) {
    return loadFromStream(path ? std::fopen(path, "rb") : nullptr);
}

bool CFirmwareUpdater::failLoad() {
    if (!explicitIdentity_)
        unloadFile();
    return false;
}

bool CFirmwareUpdater::loadFromStream(std::FILE* stream) {
    // The previous file goes first, so that a failed load leaves none loaded.
    if (fileLoaded() && !explicitIdentity_)
        unloadFile();
    if (!stream)
        return failLoad();

    // Everything is read into locals and only taken over once every check passed:
    // with the identity flag set a failed load must leave the loaded file intact.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(stream, std::fclose);
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

    unloadFile();
    header_.assign(buffer.get());
    stream_ = file.release();
    fileBuffer_ = std::move(buffer);
    fileSize_ = size;
    return true;
}

void CFirmwareUpdater::setExplicitIdentity(uint16_t vendorId, uint16_t productId) {
    header_.setVendorId(vendorId);
    header_.setProductId(productId);
    explicitIdentity_ = true;
}

void CFirmwareUpdater::unloadFile() {
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
    hardwareVersion_ = FirmwareVersion{0xFF, 0xFF, 0xFF};
    firmwareVersion_ = FirmwareVersion{0xFF, 0xFF, 0xFF};
}

void CFirmwareUpdater::teardown() {
    explicitIdentity_ = false;
    unloadFile();
    resetDeviceInfo();
}
