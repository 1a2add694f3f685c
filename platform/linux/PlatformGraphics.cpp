#include "PlatformGraphics.h"

#include "EmbeddedBitmaps.h"

#include <cstdlib>

OffscreenPixels allocateOffscreen(int width, int height) {
    OffscreenPixels offscreen;
    if (width > 0 && height > 0)
        offscreen.pixels = static_cast<uint8_t*>(
            std::calloc(static_cast<size_t>(width) * static_cast<size_t>(height), 4));
    return offscreen;
}

void releaseOffscreen(OffscreenPixels& offscreen) {
    std::free(offscreen.pixels);
    offscreen.pixels = nullptr;
}

bool findBitmapResource(int id, const uint8_t*& data, size_t& size) {
    for (size_t i = 0; i < kEmbeddedBitmapCount; ++i)
        if (kEmbeddedBitmaps[i].id == id) {
            data = kEmbeddedBitmaps[i].data;
            size = kEmbeddedBitmaps[i].size;
            return true;
        }
    return false;
}

void platformStartGraphics() {}
