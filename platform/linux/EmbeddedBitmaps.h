#pragma once

#include <cstddef>
#include <cstdint>

// The build's generated table of the bitmap resources.
struct EmbeddedBitmap {
    int id;
    const uint8_t* data;
    size_t size;
};
extern const EmbeddedBitmap kEmbeddedBitmaps[];
extern const size_t kEmbeddedBitmapCount;
