#pragma once

#include <cstdint>
#include <string>

// A firmware or hardware version: three bytes, shown as "1.3.00".
struct FirmwareVersion {
    uint8_t major = 0;
    uint8_t minor = 0;
    uint8_t build = 0;

    // Ordering key: newer versions compare greater.
    uint32_t ordinal() const { return major * 65536u + minor * 256u + build; }
    std::string text() const;

    friend bool operator==(const FirmwareVersion&, const FirmwareVersion&) = default;
};
