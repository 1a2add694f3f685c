#include "DisplayScale.h"

#include <algorithm>
#include <cstring>

int displayScaleForDpi(int dpi) {
    return std::clamp(dpi / 96, 1, kMaxDisplayScale);
}

int parseDisplayScale(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > char('0' + kMaxDisplayScale))
        return 0;
    return text[0] - '0';
}

PixelRect clipToImage(const PixelRect& rect, const PixelImage& image) {
    const PixelRect clipped{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, image.width),
                            std::min(rect.bottom, image.height)};
    if (!image.pixels || clipped.left >= clipped.right || clipped.top >= clipped.bottom)
        return PixelRect{};
    return clipped;
}

PixelRect scaleImageRect(const PixelImage& image, const PixelRect& rect, int scale, std::vector<uint8_t>& out) {
    const PixelRect area = clipToImage(rect, image);
    if (area.right == 0 || scale < 1)
        return PixelRect{};
    const size_t width = size_t(area.right - area.left) * size_t(scale);
    const size_t height = size_t(area.bottom - area.top) * size_t(scale);
    out.resize(width * height * 4);
    // Output row r (bottom-up) shows page row bottom - 1 - r / scale.
    for (size_t row = 0; row < height; ++row) {
        const int pageY = area.bottom - 1 - int(row / size_t(scale));
        const uint8_t* source = image.pixels + image.rowBytes * size_t(image.height - 1 - pageY) + size_t(area.left) * 4;
        uint8_t* target = out.data() + row * width * 4;
        if (row % size_t(scale) != 0) {
            std::memcpy(target, target - width * 4, width * 4); // the row above it, again
            continue;
        }
        for (int x = area.left; x < area.right; ++x, source += 4)
            for (int copy = 0; copy < scale; ++copy, target += 4)
                std::memcpy(target, source, 4);
    }
    return area;
}
