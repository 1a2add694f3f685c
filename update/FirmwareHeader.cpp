#include "FirmwareHeader.h"

#include "ByteOrder.h"

#include <cstring>

void FirmwareHeader::assign(const uint8_t* bytes) {
    std::memcpy(bytes_.data(), bytes, kSize);
}

bool FirmwareHeader::magicMatches() const {
    return std::memcmp(bytes_.data(), kMagic, kMagicSize) == 0;
}

uint32_t FirmwareHeader::checksum() const {
    return byteorder::readLe32(&bytes_[kChecksumOffset]);
}

uint16_t FirmwareHeader::vendorId() const {
    return byteorder::readLe16(&bytes_[kVendorOffset]);
}

uint16_t FirmwareHeader::productId() const {
    return byteorder::readLe16(&bytes_[kProductOffset]);
}

void FirmwareHeader::setVendorId(uint16_t vendorId) {
    byteorder::writeLe16(&bytes_[kVendorOffset], vendorId);
}

void FirmwareHeader::setProductId(uint16_t productId) {
    byteorder::writeLe16(&bytes_[kProductOffset], productId);
}

std::string FirmwareHeader::deviceName() const {
    const char* name = reinterpret_cast<const char*>(&bytes_[kNameOffset]);
    return std::string(name, strnlen(name, kNameSize));
}

FirmwareVersion FirmwareHeader::version() const {
    return FirmwareVersion{bytes_[kVersionOffset], bytes_[kVersionOffset + 1],
                           bytes_[kVersionOffset + 2]};
}

uint32_t FirmwareHeader::imageLength() const {
    return byteorder::readLe32(&bytes_[kImageLengthOffset]);
}
