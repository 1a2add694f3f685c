#include "CCBitmapCache.h"
#include "Framework.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool magenta(const uint8_t* p) {
    return p[0] == 255 && p[1] == 0 && p[2] == 255;
}

std::vector<uint8_t> readResource(const char* name) {
    std::ifstream in(std::string(QUORIX_RESOURCES_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t le(const std::vector<uint8_t>& bytes, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | bytes.at(at + size_t(i));
    return value;
}

} // namespace

TEST(Artwork, EveryPictureHasItsSizeAndDepth) {
    startFramework();
    struct Expected {
        int id, width, height, bits;
    };
    for (const Expected& e : {Expected{200, 480, 240, 24}, Expected{202, 209, 18, 24},
                              Expected{203, 200, 12, 24}, Expected{204, 255, 24, 32},
                              Expected{205, 255, 24, 32}, Expected{206, 90, 30, 32},
                              Expected{1000, 15, 15, 32}, Expected{1001, 15, 15, 32},
                              Expected{1002, 15, 15, 32}, Expected{1003, 15, 15, 32},
                              Expected{1004, 15, 30, 32}, Expected{1005, 30, 15, 32},
                              Expected{5000, 30, 10, 32}}) {
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

    for (int id : {202, 203, 204, 205, 206, 1000, 1001, 1002, 1003, 1004, 1005, 5000}) {
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

// The Windows icon holds 16, 32 and 48 pixel images of the Linux window icon; each
// image's AND mask marks exactly its clear pixels (the mask is what Windows uses
// where alpha is ignored, so a wrong one shows a black or white box round the icon).
TEST(Artwork, WindowsIconIsTheLinuxIconInThreeSizes) {
    const std::vector<uint8_t> ico = readResource("quorix.ico");
    const std::vector<uint8_t> bmp = readResource("icon.bmp");
    ASSERT_GE(ico.size(), 6u);
    ASSERT_EQ(bmp.size(), 54u + 48 * 48 * 4);
    EXPECT_EQ(le(ico, 0, 2), 0u);
    EXPECT_EQ(le(ico, 2, 2), 1u); // an icon
    ASSERT_EQ(le(ico, 4, 2), 3u);
    const int sizes[] = {16, 32, 48};
    size_t end = 6 + 16 * 3;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(sizes[i]);
        const size_t entry = 6 + 16 * size_t(i);
        const uint32_t size = uint32_t(sizes[i]);
        EXPECT_EQ(ico.at(entry), size);
        EXPECT_EQ(ico.at(entry + 1), size);
        EXPECT_EQ(le(ico, entry + 6, 2), 32u);
        const uint32_t bytes = le(ico, entry + 8, 4), at = le(ico, entry + 12, 4);
        const size_t maskRow = (size + 31) / 32 * 4;
        ASSERT_EQ(at, end); // images follow one another without gaps or overlaps
        ASSERT_EQ(bytes, 40 + size * size * 4 + maskRow * size);
        ASSERT_LE(at + bytes, ico.size());
        end = at + bytes;
        EXPECT_EQ(le(ico, at, 4), 40u);
        EXPECT_EQ(le(ico, at + 4, 4), size);
        EXPECT_EQ(le(ico, at + 8, 4), 2 * size); // colour rows and mask rows
        EXPECT_EQ(le(ico, at + 14, 2), 32u);
        EXPECT_EQ(le(ico, at + 16, 4), 0u); // BI_RGB

        const size_t pixels = at + 40, mask = pixels + size * size * 4;
        int clear = 0, opaque = 0;
        for (uint32_t y = 0; y < size; ++y)
            for (uint32_t x = 0; x < size; ++x) {
                const uint8_t alpha = ico[pixels + (y * size + x) * 4 + 3];
                const bool masked = (ico[mask + y * maskRow + x / 8] >> (7 - x % 8)) & 1;
                EXPECT_EQ(masked, alpha == 0) << x << ", " << y;
                clear += alpha == 0;
                opaque += alpha == 255;
            }
        EXPECT_GT(clear, 0);                     // the rounded corners
        EXPECT_GT(opaque, int(size * size) / 2); // the face
    }
    EXPECT_EQ(end, ico.size());
    // The largest image is the Linux icon itself, row for row.
    const size_t large = le(ico, 6 + 32 + 12, 4) + 40;
    EXPECT_TRUE(std::equal(bmp.begin() + 54, bmp.end(), ico.begin() + std::ptrdiff_t(large)));
}
