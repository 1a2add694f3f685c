#include "CCDrawContext.h"

#include <algorithm>
#include <cstring>

CCDrawContext::CCDrawContext(CCBitmap* target)
    : target_(target), width_(target ? target->width() : 0),
      height_(target ? target->height() : 0) {
    clip_ = CCRect{0, 0, width_, height_};
}

CCDrawContext::CCDrawContext(PresentSink* sink, int width, int height)
    : sink_(sink), width_(width), height_(height) {
    clip_ = CCRect{0, 0, width_, height_};
}

void CCDrawContext::restoreClip() {
    if (clipStack_.empty())
        return;
    clip_ = clipStack_.back();
    clipStack_.pop_back();
}

CCRect CCDrawContext::intersect(const CCRect& a, const CCRect& b) {
    if (a.top < b.bottom && b.top < a.bottom && a.left < b.right && b.left < a.right)
        return CCRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                      std::min(a.bottom, b.bottom)};
    return CCRect{};
}

int CCDrawContext::presentBitmap(const CCBitmap& bitmap, const CCRect& dest, CCPoint source) {
    if (sink_)
        return sink_->present(bitmap, dest, source);
    // Into the target, as a copy onto a memory device context would: 24-bit pixels
    // arrive with a zero fourth byte.
    if (!target_ || !target_->valid() || !bitmap.valid() || target_->bitCount() != 32)
        return 0;
    CCRect area = intersect(dest, CCRect{0, 0, target_->width(), target_->height()});
    int rows = 0;
    const int bytes = bitmap.bitCount() / 8;
    for (int y = area.top; y < area.bottom; ++y) {
        const int sy = source.y + (y - dest.top);
        if (sy < 0 || sy >= bitmap.height())
            continue;
        for (int x = area.left; x < area.right; ++x) {
            const int sx = source.x + (x - dest.left);
            if (sx < 0 || sx >= bitmap.width())
                continue;
            const uint8_t* s = bitmap.pixelAt(sx, sy);
            uint8_t* d = target_->pixelAt(x, y);
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = bytes == 4 ? s[3] : 0;
        }
        ++rows;
    }
    return rows;
}

void CCDrawContext::drawBitmap(const CCBitmap* bitmap, CCPoint dest, CCPoint source, CCPoint size) {
    if (!bitmap)
        return;
    CCRect rect{dest.x, dest.y, dest.x + bitmap->width(), dest.y + bitmap->height()};
    if (size.x != 0)
        rect = CCRect{dest.x, dest.y, dest.x + size.x, dest.y + size.y};
    const CCRect clipped = intersect(rect, clip_);
    if (clipped.width() <= 0 || clipped.height() <= 0)
        return;
    const CCPoint from{source.x + clipped.left - dest.x, source.y + clipped.top - dest.y};

    if (!bitmap->hasAlpha() && alpha_ == 255 && !grey_ && !tinted()) {
        presentBitmap(*bitmap, clipped, from);
        return;
    }
    if (!target_ || !target_->valid() || !target_->pixels() || target_->bitCount() != 32 ||
        !bitmap->valid() || !bitmap->pixels() || alpha_ == 0)
        return;
    // Never outside either picture, whatever the caller asked for.
    CCRect safe = intersect(clipped, CCRect{0, 0, target_->width(), target_->height()});
    const CCRect sourceArea{clipped.left - from.x, clipped.top - from.y,
                            clipped.left - from.x + bitmap->width(),
                            clipped.top - from.y + bitmap->height()};
    safe = intersect(safe, sourceArea);
    if (safe.width() <= 0 || safe.height() <= 0)
        return;
    const CCPoint safeFrom{from.x + safe.left - clipped.left, from.y + safe.top - clipped.top};
    if (bitmap->bitCount() == 32)
        blend32(*bitmap, safe, safeFrom);
    else if (bitmap->bitCount() == 24)
        blend24(*bitmap, safe, safeFrom);
}

void CCDrawContext::blend32(const CCBitmap& source, const CCRect& dest, CCPoint from) {
    const unsigned level = alpha_;
    const unsigned tint[3] = {tint_[2], tint_[1], tint_[0]}; // in pixel order B, G, R
    const bool tinted = this->tinted();
    const bool ownAlpha = source.hasAlpha() && !source.drawingTarget();
    for (int y = dest.top; y < dest.bottom; ++y) {
        const uint8_t* s = source.pixelAt(from.x, from.y + (y - dest.top));
        uint8_t* d = target_->pixelAt(dest.left, y);
        for (int x = dest.left; x < dest.right; ++x, s += 4, d += 4) {
            if (!tinted && level == 255) {
                const unsigned a = s[3];
                if (a == 255) {
                    d[0] = s[0], d[1] = s[1], d[2] = s[2];
                } else if (a != 0) {
                    for (int c = 0; c < 3; ++c)
                        d[c] = static_cast<uint8_t>((d[c] * (255 - a) >> 8) + s[c]);
                }
                continue;
            }
            const unsigned t = ownAlpha ? s[3] : 255;
            const unsigned u = level * t >> 8;
            if (u == 0)
                continue;
            const unsigned v = 255 - u;
            unsigned w = u * 256 / t;
            if (tinted) {
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<uint8_t>((d[c] * v + ((w * s[c] * tint[c]) >> 8)) >> 8);
            } else {
                if (!source.premultiplied())
                    w = level;
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<uint8_t>((d[c] * v + s[c] * w) >> 8);
            }
        }
    }
}

void CCDrawContext::blend24(const CCBitmap& source, const CCRect& dest, CCPoint from) {
    const unsigned level = alpha_;
    const unsigned tint[3] = {tint_[2], tint_[1], tint_[0]};
    const bool tinted = this->tinted();
    for (int y = dest.top; y < dest.bottom; ++y) {
        const uint8_t* s = source.pixelAt(from.x, from.y + (y - dest.top));
        uint8_t* d = target_->pixelAt(dest.left, y);
        for (int x = dest.left; x < dest.right; ++x, s += 3, d += 4) {
            for (int c = 0; c < 3; ++c) {
                if (level == 255)
                    d[c] = tinted ? static_cast<uint8_t>(s[c] * tint[c] >> 8) : s[c];
                else if (tinted)
                    d[c] = static_cast<uint8_t>((d[c] * (255 - level) + (s[c] * tint[c] / 256) * level) >> 8);
                else
                    d[c] = static_cast<uint8_t>((d[c] * (255 - level) + s[c] * level) >> 8);
            }
        }
    }
}

void CCDrawContext::drawFrame(const CCImageStrip* strip, CCPoint dest, unsigned index) {
    if (!strip || strip->frameCount() == 0)
        return;
    const unsigned frame = std::min<unsigned>(static_cast<uint16_t>(index), strip->frameCount() - 1u);
    drawBitmap(strip, dest, CCPoint{static_cast<int32_t>(frame * strip->frameWidth()), 0},
               CCPoint{strip->frameWidth(), strip->height()});
}

void CCDrawContext::fillRect(const CCBrush& brush, const CCRect& rect) {
    if (!target_ || !target_->valid() || target_->bitCount() != 32)
        return;
    CCRect area = intersect(CCRect{rect.left, rect.top, rect.right + 1, rect.bottom + 1}, clip_);
    area = intersect(area, CCRect{0, 0, target_->width(), target_->height()});
    const uint8_t colour[3] = {brush.blue, brush.green, brush.red};
    // A translucent fill blends source over the target: c = (s A + d (255 - A)) / 255,
    // rounded to nearest, with A the brush alpha combined with the context alpha.
    const unsigned a = brush.alpha * alpha_ / 255u;
    for (int y = area.top; y < area.bottom; ++y) {
        uint8_t* d = target_->pixelAt(area.left, y);
        for (int x = area.left; x < area.right; ++x, d += 4) {
            if (alpha_ == 255) {
                d[0] = colour[0], d[1] = colour[1], d[2] = colour[2], d[3] = 0;
            } else {
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<uint8_t>((colour[c] * a + d[c] * (255 - a) + 127) / 255);
            }
        }
    }
}
