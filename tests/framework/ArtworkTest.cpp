#include "CCBitmapCache.h"
#include "Framework.h"

#include <gtest/gtest.h>

namespace {

bool magenta(const uint8_t* p) {
    return p[0] == 255 && p[1] == 0 && p[2] == 255;
}

} // namespace

TEST(Artwork, EveryPictureHasItsSizeAndDepth) {
    startFramework();
    struct Expected {
        int id, width, height, bits;
    };
    for (const Expected& e : {Expected{200, 480, 240, 24}, Expected{202, 209, 18, 24},
                              Expected{203, 200, 12, 24}, Expected{204, 255, 24, 32},
                              Expected{205, 255, 24, 32}, Expected{206, 90, 30, 32}}) {
        CCBitmap* bitmap = bitmapCache().getBitmap(e.id);
        ASSERT_NE(bitmap, nullptr) << e.id;
        EXPECT_EQ(bitmap->width(), e.width) << e.id;
        EXPECT_EQ(bitmap->height(), e.height) << e.id;
        EXPECT_EQ(bitmap->bitCount(), e.bits) << e.id;
        bitmapCache().release(bitmap);
    }
}

TEST(Artwork, MagentaOnlyOutsideTheWindowCorners) {
    startFramework();
    CCBitmap* page = bitmapCache().getBitmap(200);
    ASSERT_NE(page, nullptr);
    int keyed = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 480; ++x) {
            if (!magenta(page->pixelAt(x, y)))
                continue;
            ++keyed;
            const bool nearCorner = (x < 14 || x >= 466) && (y < 14 || y >= 226);
            EXPECT_TRUE(nearCorner) << "magenta at " << x << ", " << y;
        }
    EXPECT_TRUE(magenta(page->pixelAt(0, 0)));
    EXPECT_TRUE(magenta(page->pixelAt(479, 239)));
    EXPECT_FALSE(magenta(page->pixelAt(14, 0)));
    EXPECT_GT(keyed, 4 * 20);
    bitmapCache().release(page);

    for (int id : {202, 203, 204, 205, 206}) {
        CCBitmap* bitmap = bitmapCache().getBitmap(id);
        ASSERT_NE(bitmap, nullptr);
        for (int y = 0; y < bitmap->height(); ++y)
            for (int x = 0; x < bitmap->width(); ++x) {
                const uint8_t* p = bitmap->pixelAt(x, y);
                const bool visible = bitmap->bitCount() == 24 || p[3] != 0;
                EXPECT_FALSE(visible && magenta(p)) << id << " at " << x << ", " << y;
            }
        bitmapCache().release(bitmap);
    }
}

TEST(Artwork, ButtonCellsHaveSoftEdgesAndOpaqueFaces) {
    startFramework();
    CCImageStrip* button = bitmapCache().getStripByCount(204, 3);
    ASSERT_NE(button, nullptr);
    for (int cell = 0; cell < 3; ++cell) {
        const int left = cell * 85;
        EXPECT_EQ(button->pixelAt(left, 0)[3], 0);          // the rounded corner is clear
        EXPECT_EQ(button->pixelAt(left + 42, 12)[3], 255);  // the face is opaque
        bool partial = false;
        for (int x = left; x < left + 8; ++x)
            partial |= button->pixelAt(x, 1)[3] > 0 && button->pixelAt(x, 1)[3] < 255;
        EXPECT_TRUE(partial) << "cell " << cell;            // antialiased through alpha
    }
    bitmapCache().release(button);
}
