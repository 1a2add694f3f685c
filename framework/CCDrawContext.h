#pragma once

#include "CCBitmap.h"

#include <cstdint>
#include <deque>

struct CCRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    friend bool operator==(const CCRect&, const CCRect&) = default;
};

struct CCPoint {
    int32_t x = 0, y = 0;
};

// A solid colour for fillRect.
struct CCBrush {
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
};

// Where presented pixels go: the window on screen, or a test's record.
class PresentSink {
public:
    virtual ~PresentSink() = default;
    // Copy the rectangle dest of the screen from bitmap, starting at source (top-down).
    // Returns the number of rows handed over.
    virtual int present(const CCBitmap& bitmap, const CCRect& dest, CCPoint source) = 0;
};

// The drawing surface of the page framework. It renders in software into a 32-bit
// target bitmap (the off-screen image), always inside a clip rectangle kept on a
// stack; a context over a PresentSink only presents.
class CCDrawContext {
public:
    explicit CCDrawContext(CCBitmap* target);
    CCDrawContext(PresentSink* sink, int width, int height);
    virtual ~CCDrawContext() = default;

    void saveClip() { clipStack_.push_back(clip_); }
    void clipTo(const CCRect& rect) { clip_ = intersect(clip_, rect); }
    void restoreClip();
    const CCRect& clip() const { return clip_; }
    static CCRect intersect(const CCRect& a, const CCRect& b);

    // size.x == 0 draws the whole bitmap.
    void drawBitmap(const CCBitmap* bitmap, CCPoint dest, CCPoint source, CCPoint size = {});
    void drawFrame(const CCImageStrip* strip, CCPoint dest, unsigned index);
    // right and bottom are inclusive here.
    void fillRect(const CCBrush& brush, const CCRect& rect);
    int presentBitmap(const CCBitmap& bitmap, const CCRect& dest, CCPoint source);

    uint8_t alpha() const { return alpha_; }
    void setAlpha(uint8_t alpha) { alpha_ = alpha; }
    // All zero means no tint.
    void setTint(uint8_t red, uint8_t green, uint8_t blue) { tint_[0] = red, tint_[1] = green, tint_[2] = blue; }
    bool tinted() const { return tint_[0] || tint_[1] || tint_[2]; }
    CCBitmap* target() const { return target_; }
    int width() const { return width_; }
    int height() const { return height_; }

    int partialRedrawCounter = 0;
    int overlayCounter = 0;

private:
    void blend32(const CCBitmap& source, const CCRect& dest, CCPoint from);
    void blend24(const CCBitmap& source, const CCRect& dest, CCPoint from);

    std::deque<CCRect> clipStack_;
    CCBitmap* target_ = nullptr;
    PresentSink* sink_ = nullptr;
    CCRect clip_;
    bool grey_ = false;
    uint8_t alpha_ = 255;
    uint8_t tint_[3] = {0, 0, 0}; // R, G, B
    int width_ = 0;
    int height_ = 0;
};
