#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One line of text drawn with the program's own fonts, for what a backend draws
// by itself rather than through a page (the X11 edit popup). The fonts live above
// the platform layer, so the program hands the backend a renderer.
struct RenderedLine {
    int width = 0, height = 0;     // of coverage
    std::vector<uint8_t> coverage; // 0 (none) to 255 (full ink) per pixel, top row first
    int origin = 0;                // x in coverage where the line's pen starts
    // The pen's x before each character and after the last (size() + 1 values),
    // counted from origin: where a caret between characters goes.
    std::vector<int> edges;
};

class TextRenderer {
public:
    virtual ~TextRenderer() = default;
    // Latin-1 text in the regular Arial role, pixelHeight pixels high, centred
    // vertically in a box boxHeight high (the coverage's height).
    virtual RenderedLine renderLine(const std::string& latin1, int pixelHeight, int boxHeight) = 0;
};
