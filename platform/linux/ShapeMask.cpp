#include "ShapeMask.h"

#include <algorithm>

void ShapeMask::reset(int maskWidth, int maskHeight) {
    width = std::max(maskWidth, 0);
    height = std::max(maskHeight, 0);
    holes.assign(size_t(width) * size_t(height), 0);
}

bool ShapeMask::update(const PixelImage& image, const PixelRect& rect, uint32_t colourKey) {
    if (!image.pixels)
        return false;
    const int left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    const int right = std::min({rect.right, image.width, width});
    const int bottom = std::min({rect.bottom, image.height, height});
    const uint8_t keyBlue = uint8_t(colourKey), keyGreen = uint8_t(colourKey >> 8),
                  keyRed = uint8_t(colourKey >> 16);
    bool changed = false;
    for (int y = top; y < bottom; ++y) {
        const uint8_t* p = image.pixels + image.rowBytes * size_t(image.height - 1 - y) + size_t(left) * 4;
        uint8_t* hole = &holes[size_t(y) * size_t(width) + size_t(left)];
        for (int x = left; x < right; ++x, p += 4, ++hole) {
            const uint8_t isHole = p[0] == keyBlue && p[1] == keyGreen && p[2] == keyRed;
            changed |= *hole != isHole;
            *hole = isHole;
        }
    }
    return changed;
}

std::vector<PixelRect> ShapeMask::solidRectangles() const {
    std::vector<PixelRect> rectangles;
    std::vector<std::pair<int, int>> spans, previous;
    size_t bandStart = 0; // first rectangle of the band the previous row belongs to
    for (int y = 0; y < height; ++y) {
        spans.clear();
        const uint8_t* row = &holes[size_t(y) * size_t(width)];
        for (int x = 0; x < width;) {
            while (x < width && row[x])
                ++x;
            const int start = x;
            while (x < width && !row[x])
                ++x;
            if (x > start)
                spans.emplace_back(start, x);
        }
        if (y > 0 && spans == previous && !spans.empty()) {
            for (size_t i = bandStart; i < rectangles.size(); ++i)
                rectangles[i].bottom = y + 1;
            continue;
        }
        bandStart = rectangles.size();
        for (const auto& [start, end] : spans)
            rectangles.push_back(PixelRect{start, y, end, y + 1});
        previous.swap(spans);
    }
    return rectangles;
}
