#include "DisplayScale.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(DisplayScale, WholeNumberScalesFromTheDpiAndBackToPagePixels) {
    for (auto [dpi, scale] : {std::pair{0, 1}, {96, 1}, {144, 1}, {191, 1}, {192, 2}, {287, 2}, {288, 3}, {1000, 4}})
        EXPECT_EQ(displayScaleForDpi(dpi), scale) << dpi;
    for (auto [text, scale] : {std::pair{"2", 2}, {"4", 4}, {"0", 0}, {"5", 0}, {"", 0}, {"2.5", 0}, {"x", 0}})
        EXPECT_EQ(parseDisplayScale(text), scale) << text;
    for (auto [window, page] : {std::pair{0, 0}, {1, 0}, {2, 1}, {959, 479}, {-1, -1}, {-2, -1}, {-3, -2}})
        EXPECT_EQ(pageCoordinate(window, 2), page) << window;
    EXPECT_EQ(pageCoordinate(-7, 1), -7);

    // A 3 × 2 page (bottom-up rows, one distinct blue value per pixel) at scale 2.
    std::vector<uint8_t> page(3 * 2 * 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            page[(size_t(1 - y) * 3 + size_t(x)) * 4] = uint8_t(10 * y + x);
    const PixelImage image{page.data(), 3, 2, 12};
    std::vector<uint8_t> out;
    const PixelRect copied = scaleImageRect(image, PixelRect{1, -5, 9, 2}, 2, out);
    EXPECT_EQ(std::vector<int>({copied.left, copied.top, copied.right, copied.bottom}), std::vector<int>({1, 0, 3, 2}));
    ASSERT_EQ(out.size(), size_t(4 * 4 * 4));
    std::vector<int> blues; // top-down, as seen
    for (int row = 3; row >= 0; --row)
        for (int x = 0; x < 4; ++x)
            blues.push_back(out[(size_t(row) * 4 + size_t(x)) * 4]);
    EXPECT_EQ(blues, std::vector<int>({1, 1, 2, 2, 1, 1, 2, 2, 11, 11, 12, 12, 11, 11, 12, 12}));
    EXPECT_EQ(scaleImageRect(image, PixelRect{3, 0, 5, 2}, 2, out).right, 0) << "outside the image";
    EXPECT_EQ(scaleImageRect(PixelImage{}, PixelRect{0, 0, 1, 1}, 2, out).right, 0);
}
