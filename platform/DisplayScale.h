#pragma once

#include "UiPlatform.h"

#include <cstdint>
#include <string>
#include <vector>

// High-DPI screens show the page at a whole-number scale, each page pixel as an
// s × s block (nearest neighbour), so the page keeps every pixel it was drawn
// with: 2 from 192 dpi (200 %), 3 from 288, at most 4; below 192, 1. Every backend
// uses this one rule.
constexpr int kMaxDisplayScale = 4;
int displayScaleForDpi(int dpi);
// A scale the user asked for (GDK_SCALE and the like): "1".."4", else 0.
int parseDisplayScale(const std::string& text);

// Window coordinates back to page coordinates: rounds towards minus infinity, so a
// point left of or above the window stays outside it.
inline int pageCoordinate(int windowCoordinate, int scale) {
    if (scale <= 1)
        return windowCoordinate;
    return windowCoordinate >= 0 ? windowCoordinate / scale : -((-windowCoordinate + scale - 1) / scale);
}

// The part of a page rectangle that lies inside the image, in page pixels; empty
// (all zero) when none does.
PixelRect clipToImage(const PixelRect& rect, const PixelImage& image);

// Copies the (clipped) page rectangle of the image, enlarged by scale, into out as
// bottom-up B, G, R, A rows of width (right - left) × scale; returns the rectangle
// copied, in page pixels (empty when nothing was).
PixelRect scaleImageRect(const PixelImage& image, const PixelRect& rect, int scale, std::vector<uint8_t>& out);
