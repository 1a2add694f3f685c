#include "PixelSupport.h"

#include "CCBitmap.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> grey(uint8_t v) {
    return {v, v, v};
}

} // namespace

TEST(Bitmap, LoadingPremultipliesTranslucentPixels) {
    const auto data = makeResource(2, 1, 32, [](int x, int) {
        return x == 0 ? std::vector<uint8_t>{200, 100, 50, 128} : std::vector<uint8_t>{9, 8, 7, 255};
    });
    CCBitmap bitmap(data.data(), data.size());
    ASSERT_TRUE(bitmap.valid());
    EXPECT_TRUE(bitmap.hasAlpha());
    EXPECT_TRUE(bitmap.premultiplied());
    const uint8_t* p = bitmap.pixelAt(0, 0);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{100, 50, 25, 128}));
    const uint8_t* opaque = bitmap.pixelAt(1, 0);
    EXPECT_EQ(std::vector<uint8_t>(opaque, opaque + 4), (std::vector<uint8_t>{9, 8, 7, 255}));
}

TEST(Bitmap, BadResourceDataLeavesItInvalid) {
    auto data = makeResource(4, 4, 24, [](int, int) { return grey(1); });
    CCBitmap shortData(data.data(), data.size() - 1);
    EXPECT_FALSE(shortData.valid());
    CCBitmap noData(nullptr, 0);
    EXPECT_FALSE(noData.valid());
    data[14] = 8; // palette images are not the program's
    CCBitmap palette(data.data(), data.size());
    EXPECT_FALSE(palette.valid());
    data[14] = 24;
    data[8] = 0; // height 0
    CCBitmap empty(data.data(), data.size());
    EXPECT_FALSE(empty.valid());
}

TEST(Bitmap, BlankAndAlphaMapPixels) {
    CCBitmap glyph;
    ASSERT_TRUE(glyph.createBlank(2, 2));
    EXPECT_FALSE(glyph.premultiplied());
    EXPECT_EQ(glyph.pixelAt(1, 1)[0], 255);
    const uint8_t coverage[4] = {0, 128, 255, 64}; // top row first
    glyph.fillFromAlphaMap(coverage, 200, 100, 50);
    EXPECT_TRUE(glyph.premultiplied());
    const uint8_t* p = glyph.pixelAt(1, 0); // coverage 128
    EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{25, 50, 100, 128}));
    const uint8_t* q = glyph.pixelAt(0, 1); // coverage 255
    EXPECT_EQ(std::vector<uint8_t>(q, q + 4), (std::vector<uint8_t>{49, 99, 199, 255}));
}
