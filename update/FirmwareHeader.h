#pragma once

#include "FirmwareVersion.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The 56-byte header at the start of an update file. It is kept as the file's own
// bytes and every field is read at its offset as little-endian, never by overlaying
// a host struct.
class FirmwareHeader {
public:
    static constexpr size_t kSize = 56;
    static constexpr size_t kMagicSize = 8;
    static constexpr size_t kChecksumOffset = 8;
    static constexpr size_t kChecksummedFrom = 12; // the checksum covers offset 12 to the end
    static constexpr size_t kVendorOffset = 12;
    static constexpr size_t kProductOffset = 14;
    static constexpr size_t kNameOffset = 16;
    static constexpr size_t kNameSize = 32;
    static constexpr size_t kVersionOffset = 49; // major, minor, build
    static constexpr size_t kImageLengthOffset = 52;
    static constexpr char kMagic[kMagicSize + 1] = "QUORIXFW";

    FirmwareHeader() { clear(); }

    void clear() { bytes_.fill(0); }
    // Takes exactly kSize bytes.
    void assign(const uint8_t* bytes);
    const uint8_t* data() const { return bytes_.data(); }

    bool magicMatches() const;
    uint32_t checksum() const;
    uint16_t vendorId() const;
    uint16_t productId() const;
    void setVendorId(uint16_t vendorId);
    void setProductId(uint16_t productId);
    // Up to the first NUL, and never beyond the 32-byte field.
    std::string deviceName() const;
    FirmwareVersion version() const;
    uint32_t imageLength() const;

private:
    std::array<uint8_t, kSize> bytes_;
};
