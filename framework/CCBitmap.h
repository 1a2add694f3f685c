#pragma once

#include "PlatformGraphics.h"

#include <cstddef>
#include <cstdint>

// One picture as raw pixels in the bottom-up DIB layout: 32 bits per pixel
// (B, G, R, A) or 24 (B, G, R, rows padded to 4 bytes).
class CCBitmap {
public:
    static constexpr size_t kInfoHeaderSize = 40;
    static constexpr int kMaxSide = 16384;

    // Empty and invalid.
    CCBitmap() = default;
    // From resource data: a 40-byte BITMAPINFOHEADER and the rows right after it.
    CCBitmap(const uint8_t* resource, size_t size) { load(resource, size); }
    virtual ~CCBitmap();
    CCBitmap(const CCBitmap&) = delete;
    CCBitmap& operator=(const CCBitmap&) = delete;

    // Replaces the pixels with the resource's; 32-bit pixels are premultiplied.
    // Data that is short, or sizes out of range, leave the bitmap invalid.
    bool load(const uint8_t* resource, size_t size);
    // 32-bit opaque white, not premultiplied.
    bool createBlank(int width, int height);
    // Coverage map (one byte per pixel, top row first, this bitmap's size) to
    // premultiplied pixels of one colour.
    void fillFromAlphaMap(const uint8_t* coverage, uint8_t red, uint8_t green, uint8_t blue);
    // 32-bit off-screen pixels that the platform can present; not premultiplied.
    bool createDibSection(int width, int height);
    void releasePixels();
    // An owned copy of another bitmap's pixels and format.
    bool copyFrom(const CCBitmap& source);

    uint8_t* pixels() const { return pixels_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool hasAlpha() const { return hasAlpha_; }
    bool premultiplied() const { return premultiplied_; }
    bool drawingTarget() const { return drawingTarget_; }
    void setDrawingTarget(bool target) { drawingTarget_ = target; }
    bool valid() const { return valid_; }
    int bitCount() const { return bitCount_; }
    // Bytes per row, padded to a multiple of 4.
    size_t rowBytes() const { return rowBytes(width_, bitCount_); }
    static size_t rowBytes(int width, int bitCount) {
        return (static_cast<size_t>(width) * static_cast<size_t>(bitCount) / 8 + 3) & ~size_t{3};
    }
    // Pixel (x, y) in top-down coordinates; no bounds check.
    uint8_t* pixelAt(int x, int y) const {
        return pixels_ + rowBytes() * static_cast<size_t>(height_ - 1 - y) +
               static_cast<size_t>(x) * static_cast<size_t>(bitCount_ / 8);
    }

private:
    bool allocate(int width, int height, int bitCount);

    uint8_t* pixels_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int bitCount_ = 0;
    bool hasAlpha_ = false;
    bool premultiplied_ = true;
    bool drawingTarget_ = false;
    bool valid_ = false;
    OffscreenPixels offscreen_; // set when the pixels are platform off-screen memory
};

// A bitmap cut horizontally into equal frames (button states, lamps, characters).
class CCImageStrip : public CCBitmap {
public:
    enum class By { FrameWidth, FrameCount };
    CCImageStrip(const uint8_t* resource, size_t size, By by, int amount);

    uint16_t frameWidth() const { return frameWidth_; }
    uint16_t frameCount() const { return frameCount_; }

private:
    uint16_t frameWidth_ = 0;
    uint16_t frameCount_ = 0;
};
