#include "Checksums.h"
#include "QfuPacker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

uint32_t fileChecksumOf(const char* text) {
    return fileChecksum(reinterpret_cast<const uint8_t*>(text),
                                          std::strlen(text));
}

// Bit-by-bit CRC-32/MPEG-2 (poly 0x04C11DB7, init 0xFFFFFFFF, no reflection, no
// final XOR): an independent reference for the table-driven block CRC.
uint32_t mpeg2Reference(const std::vector<uint8_t>& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t byte : bytes) {
        crc ^= static_cast<uint32_t>(byte) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

} // namespace

TEST(FileChecksum, MatchesTheCheckValues) {
    EXPECT_EQ(fileChecksum(nullptr, 0), 0xFFFFFFFFu);
    EXPECT_EQ(fileChecksumOf("abc"), 0xFCE58C51u);
    EXPECT_EQ(fileChecksumOf("123456789"), 0xFCD74687u);
}

TEST(BlockCrc, MatchesTheCheckValues) {
    const uint8_t zeroWord[4] = {0, 0, 0, 0};
    EXPECT_EQ(blockCrc(zeroWord, 1), 0xC704DD7Bu);
    const uint8_t twoWords[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(blockCrc(twoWords, 2), 0xA3141BDAu);
    EXPECT_EQ(blockCrc(twoWords, 0), 0xFFFFFFFFu);
}

TEST(BlockCrc, EqualsMpeg2OverWordReversedBytes) {
    const std::vector<uint8_t> data = qfu::randomImage(1024, 7);
    std::vector<uint8_t> reversed(data.size());
    for (size_t i = 0; i < data.size(); i += 4)
        for (size_t j = 0; j < 4; ++j)
            reversed[i + j] = data[i + 3 - j];
    EXPECT_EQ(blockCrc(data.data(), data.size() / 4), mpeg2Reference(reversed));
}
