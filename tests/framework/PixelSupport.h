#pragma once

#include "CCBitmap.h"

#include <cstdint>
#include <functional>
#include <vector>

// Resource data as the cache gets it: a 40-byte BITMAPINFOHEADER, then bottom-up
// rows. pixel(x, y) gives the bytes of top-down pixel (x, y): B, G, R[, A].
inline std::vector<uint8_t> makeResource(int width, int height, int bitCount,
                                         const std::function<std::vector<uint8_t>(int, int)>& pixel) {
    const size_t row = CCBitmap::rowBytes(width, bitCount);
    std::vector<uint8_t> data(40 + row * size_t(height), 0);
    auto le32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            data[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    le32(0, 40);
    le32(4, uint32_t(width));
    le32(8, uint32_t(height));
    data[12] = 1;
    data[14] = uint8_t(bitCount);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::vector<uint8_t> bytes = pixel(x, y);
            uint8_t* p = &data[40 + row * size_t(height - 1 - y) + size_t(x * bitCount / 8)];
            for (size_t i = 0; i < bytes.size(); ++i)
                p[i] = bytes[i];
        }
    return data;
}

// A 32-bit drawing target filled with one colour.
inline void makeTarget(CCBitmap& target, int width, int height, uint8_t b, uint8_t g, uint8_t r) {
    target.createDibSection(width, height);
    target.setDrawingTarget(true);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = target.pixelAt(x, y);
            p[0] = b, p[1] = g, p[2] = r, p[3] = 0;
        }
}
