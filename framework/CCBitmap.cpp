#include "CCBitmap.h"

#include "ByteOrder.h"

#include <cstdlib>
#include <cstring>

CCBitmap::~CCBitmap() {
    releasePixels();
    width_ = height_ = 0;
    valid_ = false;
}

void CCBitmap::releasePixels() {
    if (offscreen_.pixels || offscreen_.handle)
        releaseOffscreen(offscreen_);
    else
        std::free(pixels_);
    pixels_ = nullptr;
    valid_ = false;
}

bool CCBitmap::allocate(int width, int height, int bitCount) {
    releasePixels();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    pixels_ = static_cast<uint8_t*>(std::calloc(rowBytes(width, bitCount), static_cast<size_t>(height)));
    if (!pixels_)
        return false;
    width_ = width;
    height_ = height;
    bitCount_ = bitCount;
    hasAlpha_ = bitCount == 32;
    return true;
}

bool CCBitmap::load(const uint8_t* resource, size_t size) {
    releasePixels();
    if (!resource || size < kInfoHeaderSize)
        return false;
    // Width and height are signed 32-bit fields.
    const int width = static_cast<int32_t>(byteorder::readLe32(resource + 4));
    const int height = static_cast<int32_t>(byteorder::readLe32(resource + 8));
    const int bitCount = byteorder::readLe16(resource + 14);
    if (bitCount != 24 && bitCount != 32)
        return false; // the program's pictures are 24 or 32 bits per pixel
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        size - kInfoHeaderSize < rowBytes(width, bitCount) * static_cast<size_t>(height))
        return false;
    if (!allocate(width, height, bitCount))
        return false;
    std::memcpy(pixels_, resource + kInfoHeaderSize, rowBytes() * static_cast<size_t>(height));
    premultiplied_ = true;
    if (hasAlpha_) {
        uint8_t* p = pixels_;
        for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i, p += 4) {
            const unsigned a = p[3];
            if (a != 255)
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<uint8_t>(p[c] * a >> 8);
        }
    }
    valid_ = true;
    return true;
}

bool CCBitmap::copyFrom(const CCBitmap& source) {
    if (&source == this || !source.valid_ || !allocate(source.width_, source.height_, source.bitCount_))
        return false;
    std::memcpy(pixels_, source.pixels_, rowBytes() * static_cast<size_t>(height_));
    premultiplied_ = source.premultiplied_;
    valid_ = true;
    return true;
}

bool CCBitmap::createBlank(int width, int height) {
    if (!allocate(width, height, 32))
        return false;
    std::memset(pixels_, 255, rowBytes() * static_cast<size_t>(height));
    premultiplied_ = false;
    valid_ = true;
    return true;
}

void CCBitmap::fillFromAlphaMap(const uint8_t* coverage, uint8_t red, uint8_t green,
                                uint8_t blue) {
    if (!valid_ || bitCount_ != 32 || !coverage)
        return;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const unsigned c = coverage[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
            uint8_t* p = pixelAt(x, y);
            p[0] = static_cast<uint8_t>(blue * c >> 8);
            p[1] = static_cast<uint8_t>(green * c >> 8);
            p[2] = static_cast<uint8_t>(red * c >> 8);
            p[3] = static_cast<uint8_t>(c);
        }
    premultiplied_ = true;
}

bool CCBitmap::createDibSection(int width, int height) {
    releasePixels();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    offscreen_ = allocateOffscreen(width, height);
    if (!offscreen_.pixels)
        return false;
    pixels_ = offscreen_.pixels;
    width_ = width;
    height_ = height;
    bitCount_ = 32;
    hasAlpha_ = true;
    premultiplied_ = false;
    valid_ = true;
    return true;
}

CCImageStrip::CCImageStrip(const uint8_t* resource, size_t size, By by, int amount)
    : CCBitmap(resource, size) {
    if (!valid() || amount <= 0)
        return;
    if (by == By::FrameWidth) {
        frameWidth_ = static_cast<uint16_t>(amount);
        frameCount_ = static_cast<uint16_t>(width() / amount);
    } else {
        frameCount_ = static_cast<uint16_t>(amount);
        frameWidth_ = static_cast<uint16_t>(width() / amount);
    }
}
