#include "Checksums.h"

#include "ByteOrder.h"

#include <array>

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

uint32_t fileChecksum(const uint8_t* bytes, size_t count) {
    uint32_t h = 0;
    for (size_t i = 0; i < count; ++i)
        h = (h >> 8) ^ kFileTable[(h ^ bytes[i]) & 0xFF];
    return ~h;
}

uint32_t blockCrc(const uint8_t* words, size_t wordCount) {
    uint32_t h = 0xFFFFFFFFu;
    for (size_t i = 0; i < wordCount; ++i) {
        uint32_t w = byteorder::readLe32(words + 4 * i);
        for (int byte = 0; byte < 4; ++byte) {
            h = (h << 8) ^ kBlockTable[((h >> 24) ^ (w >> 24)) & 0xFF];
            w <<= 8;
        }
    }
    return h;
}
