#include "TextNumbers.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(TextNumbers, VersionsParseAsThreeBytes) {
    FirmwareVersion version;
    ASSERT_TRUE(parseVersionText("1.1.0", version));
    EXPECT_EQ(version, (FirmwareVersion{1, 1, 0}));
    ASSERT_TRUE(parseVersionText("2.10.05", version));
    EXPECT_EQ(version, (FirmwareVersion{2, 10, 5}));
    for (const char* bad : {"", "1.2", "1.2.3.4", "1..2", "1.2.3.", "256.0.0", "a.b.c", "-1.0.0",
                            "1.2. 3"})
        EXPECT_FALSE(parseVersionText(bad, version)) << bad;
}

TEST(TextNumbers, NumbersAreDigitsOnlyAndBounded) {
    uint64_t value = 0;
    ASSERT_TRUE(parseUnsignedText("abCD", 16, 0xFFFF, value));
    EXPECT_EQ(value, 0xABCDu);
    ASSERT_TRUE(parseUnsignedText("18446744073709551615", 10, UINT64_MAX, value));
    EXPECT_EQ(value, UINT64_MAX);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "0x10", "18446744073709551616"})
        EXPECT_FALSE(parseUnsignedText(bad, 10, UINT64_MAX, value)) << bad;
    EXPECT_FALSE(parseUnsignedText("10000", 16, 0xFFFF, value));
    EXPECT_TRUE(parseUnsignedText("255", 10, 255, value));
    EXPECT_FALSE(parseUnsignedText("256", 10, 255, value));
}

TEST(TextNumbers, ADigitAboveTheLimitIsRefusedNotWrapped) {
    uint64_t value = 0;
    EXPECT_FALSE(parseUnsignedText("9", 10, 5, value));
    EXPECT_FALSE(parseUnsignedText("f", 16, 10, value));
    EXPECT_FALSE(parseUnsignedText("19", 10, 5, value));
    EXPECT_FALSE(parseUnsignedText("1", 10, 0, value));
    ASSERT_TRUE(parseUnsignedText("5", 10, 5, value));
    EXPECT_EQ(value, 5u);
    ASSERT_TRUE(parseUnsignedText("0", 10, 0, value));
    EXPECT_EQ(value, 0u);
}
