#include "CCLineRenderer.h"

#include "CCFont.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMaxPixelHeight = 255; // what a font description holds
constexpr int kMaxBoxHeight = 1024;

} // namespace

RenderedLine CCLineRenderer::renderLine(const std::string& latin1, int pixelHeight, int boxHeight) {
    RenderedLine line;
    // The fonts take C strings: a NUL would end the text early.
    const std::string text = latin1.substr(0, latin1.find('\0'));
    FontDescription description; // regular, white: the ink is the coverage
    description.size = static_cast<uint8_t>(std::clamp(pixelHeight, 1, kMaxPixelHeight));
    CCFont* font = findFont(description);
    line.edges = font ? font->penPositions(text.c_str()) : std::vector<int>{0};
    line.edges.resize(text.size() + 1, line.edges.back());

    // Room either side for glyphs that reach past their advance.
    line.origin = description.size;
    line.width = line.edges.back() + 2 * line.origin;
    line.height = std::clamp(boxHeight, 1, kMaxBoxHeight);
    CCBitmap canvas;
    if (!font || !canvas.createDibSection(line.width, line.height)) {
        line.coverage.assign(size_t(line.width) * size_t(std::max(line.height, 0)), 0);
        return line;
    }
    std::memset(canvas.pixels(), 0, canvas.rowBytes() * size_t(line.height));
    CCDrawContext context(&canvas);
    font->drawText(&context, text.c_str(), CCRect{line.origin, 0, line.width, line.height}, ALIGN_LEFT);
    line.coverage.resize(size_t(line.width) * size_t(line.height));
    for (int y = 0; y < line.height; ++y)
        for (int x = 0; x < line.width; ++x)
            line.coverage[size_t(y) * size_t(line.width) + size_t(x)] = canvas.pixelAt(x, y)[1];
    return line;
}
