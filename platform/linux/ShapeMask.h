#pragma once

#include "UiPlatform.h"

#include <cstdint>
#include <vector>

// Which pixels of a window the colour key cuts out: one byte a pixel, top-down,
// 1 for a hole. Kept by the window between presents.
struct ShapeMask {
    int width = 0, height = 0;
    std::vector<uint8_t> holes;

    void reset(int maskWidth, int maskHeight);
    // Takes the presented rectangle of the image (rows bottom-up) into the mask;
    // true when a pixel changed between hole and solid.
    bool update(const PixelImage& image, const PixelRect& rect, uint32_t colourKey);
    // The solid part as rectangles in Y-X bands: sorted by top, then left; rows
    // with the same solid spans share one band.
    std::vector<PixelRect> solidRectangles() const;
};
