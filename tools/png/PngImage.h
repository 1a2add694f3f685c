#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CCBitmap;

// A small PNG writer and reader for 8-bit RGB images, used for golden images and
// previews. The writer stores the data uncompressed (stored deflate blocks); the
// reader reads exactly what the writer writes and refuses anything else.
namespace png {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // top row first, 3 bytes per pixel
};

bool write(const std::string& path, const Image& image);
// A 32-bit bitmap with its (straight) alpha, as RGBA: icons for desktops.
bool writeWithAlpha(const std::string& path, const CCBitmap& bitmap);
bool read(const std::string& path, Image& image);
// The colours of a 24- or 32-bit bitmap (its alpha bytes are not part of the picture).
Image fromBitmap(const CCBitmap& bitmap);

} // namespace png
