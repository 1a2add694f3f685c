// skin-gen OUTDIR: draws the program's artwork from code and writes it as BMP files
// (bitmap200.bmp ... bitmap206.bmp, the scroller parts bitmap1000.bmp ... bitmap1005.bmp,
// the table rows' button strip bitmap5000.bmp, and icon.bmp, the window icon of the
// Linux build) and as quorix.ico, the same icon at 16, 32 and 48 pixels for the
// Windows build.
//
// The window's rounded corners are cut away by the colour key, so everything
// outside them is exactly magenta and magenta appears nowhere else. Button cells
// have antialiased edges through their alpha channel.
#include "CCBitmap.h"
#include "CCDrawContext.h"
#include "CCFont.h"
#include "EmbeddedFonts.h"
#include "PngImage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Colour {
    float r, g, b, a = 1.0f;
};

Colour rgb(int hex, float alpha = 1.0f) {
    return Colour{float((hex >> 16) & 0xFF), float((hex >> 8) & 0xFF), float(hex & 0xFF), alpha};
}

Colour mix(Colour x, Colour y, float t) {
    return Colour{x.r + (y.r - x.r) * t, x.g + (y.g - x.g) * t, x.b + (y.b - x.b) * t,
                  x.a + (y.a - x.a) * t};
}

// Straight (not premultiplied) RGBA in floats, composited with "over". Shapes and
// paints are given in design units, `unit` of them to a pixel, so one drawing serves
// several sizes.
class Canvas {
public:
    Canvas(int width, int height, float unit = 1.0f)
        : width_(width), height_(height), unit_(unit),
          pixels_(size_t(width * height), Colour{0, 0, 0, 0}) {}

    int width() const { return width_; }
    int height() const { return height_; }
    Colour& at(int x, int y) { return pixels_[size_t(y * width_ + x)]; }

    void blend(int x, int y, Colour c, float coverage) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0)
            return;
        Colour& d = at(x, y);
        const float sa = c.a * coverage;
        const float outA = sa + d.a * (1 - sa);
        if (outA <= 0) {
            d = Colour{0, 0, 0, 0};
            return;
        }
        d.r = (c.r * sa + d.r * d.a * (1 - sa)) / outA;
        d.g = (c.g * sa + d.g * d.a * (1 - sa)) / outA;
        d.b = (c.b * sa + d.b * d.a * (1 - sa)) / outA;
        d.a = outA;
    }

    // Fills with colour(x, y) where inside(px, py) holds, 4 x 4 samples a pixel.
    template <class Inside, class Paint> void fill(Inside inside, Paint paint, bool smooth = true) {
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                float coverage = 0;
                if (smooth) {
                    for (int sy = 0; sy < 4; ++sy)
                        for (int sx = 0; sx < 4; ++sx)
                            coverage += inside((x + (sx + 0.5f) / 4) * unit_,
                                               (y + (sy + 0.5f) / 4) * unit_) ? 1 : 0;
                    coverage /= 16;
                } else {
                    coverage = inside((x + 0.5f) * unit_, (y + 0.5f) * unit_) ? 1.0f : 0.0f;
                }
                blend(x, y, paint(x * unit_, y * unit_), coverage);
            }
    }

    // Into a 32-bit bitmap, straight colours and alpha, as a BMP stores them.
    void toBitmap(CCBitmap& bitmap) const {
        bitmap.createBlank(width_, height_);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const Colour& c = pixels_[size_t(y * width_ + x)];
                uint8_t* p = bitmap.pixelAt(x, y);
                p[0] = uint8_t(std::lround(std::clamp(c.b, 0.0f, 255.0f)));
                p[1] = uint8_t(std::lround(std::clamp(c.g, 0.0f, 255.0f)));
                p[2] = uint8_t(std::lround(std::clamp(c.r, 0.0f, 255.0f)));
                p[3] = uint8_t(std::lround(std::clamp(c.a, 0.0f, 1.0f) * 255));
            }
    }

private:
    int width_, height_;
    float unit_;
    std::vector<Colour> pixels_;
};

auto roundRect(float left, float top, float right, float bottom, float radius) {
    return [=](float x, float y) {
        if (x < left || x > right || y < top || y > bottom)
            return false;
        const float cx = std::clamp(x, left + radius, right - radius);
        const float cy = std::clamp(y, top + radius, bottom - radius);
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
    };
}

auto solid(Colour c) {
    return [c](int, int) { return c; };
}

auto vertical(Colour top, Colour bottom, float from, float to) {
    return [=](float, float y) { return mix(top, bottom, std::clamp((y - from) / (to - from), 0.0f, 1.0f)); };
}

auto horizontal(Colour left, Colour right, float from, float to) {
    return [=](float x, float) { return mix(left, right, std::clamp((x - from) / (to - from), 0.0f, 1.0f)); };
}

// Within `width` of the segment from (ax, ay) to (bx, by).
bool nearSegment(float x, float y, float ax, float ay, float bx, float by, float width) {
    const float dx = bx - ax, dy = by - ay;
    const float t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    const float px = ax + t * dx - x, py = ay + t * dy - y;
    return px * px + py * py <= width * width / 4;
}

// The page's light body, shared by the background and the progress track's corners.
Colour bodyAt(int y) {
    return mix(rgb(0xF2F5F8), rgb(0xE3E8EE), std::clamp((y - 74) / 166.0f, 0.0f, 1.0f));
}

bool writeBmp(const std::string& path, const CCBitmap& bitmap, int bitCount) {
    const int width = bitmap.width(), height = bitmap.height();
    const size_t row = CCBitmap::rowBytes(width, bitCount);
    const uint32_t imageSize = uint32_t(row * size_t(height));
    std::vector<uint8_t> file(54 + imageSize, 0);
    auto le32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    file[0] = 'B', file[1] = 'M';
    le32(2, uint32_t(file.size()));
    le32(10, 54);
    le32(14, 40);
    le32(18, uint32_t(width));
    le32(22, uint32_t(height));
    file[26] = 1;
    file[28] = uint8_t(bitCount);
    le32(34, imageSize);
    le32(38, 2835); // 72 dpi
    le32(42, 2835);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = &file[54 + row * size_t(height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = bitmap.pixelAt(x, y);
            for (int c = 0; c < bitCount / 8; ++c)
                *out++ = p[c];
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return static_cast<bool>(out);
}

// An icon file with one 32-bit image per bitmap: each a BITMAPINFOHEADER of twice the
// height (colour rows, then the AND mask), rows bottom-up, straight alpha. The mask
// marks the fully clear pixels, for readers that ignore the alpha channel.
bool writeIco(const std::string& path, const std::vector<const CCBitmap*>& images) {
    const auto maskRowBytes = [](int width) { return size_t((width + 31) / 32 * 4); };
    std::vector<uint8_t> file;
    auto put16 = [&](uint32_t v) {
        file.push_back(uint8_t(v));
        file.push_back(uint8_t(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put16(0);
    put16(1); // an icon, not a cursor
    put16(uint32_t(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (const CCBitmap* image : images) {
        const int size = image->width();
        const uint32_t bytes =
            uint32_t(40 + size * size * 4 + maskRowBytes(size) * size_t(size));
        file.push_back(uint8_t(size)); // 256 would be stored as 0; no image is that large
        file.push_back(uint8_t(size));
        file.push_back(0); // no palette
        file.push_back(0);
        put16(1);  // planes
        put16(32); // bits per pixel
        put32(bytes);
        put32(offset);
        offset += bytes;
    }
    for (const CCBitmap* image : images) {
        const int size = image->width();
        const size_t maskRow = maskRowBytes(size);
        put32(40);
        put32(uint32_t(size));
        put32(uint32_t(2 * size));
        put16(1);
        put16(32);
        put32(0); // BI_RGB
        put32(uint32_t(size * size * 4 + maskRow * size_t(size)));
        put32(0);
        put32(0);
        put32(0);
        put32(0);
        for (int y = size - 1; y >= 0; --y)
            for (int x = 0; x < size; ++x) {
                const uint8_t* p = image->pixelAt(x, y);
                file.insert(file.end(), p, p + 4);
            }
        for (int y = size - 1; y >= 0; --y) {
            std::vector<uint8_t> row(maskRow, 0);
            for (int x = 0; x < size; ++x)
                if (image->pixelAt(x, y)[3] == 0)
                    row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
            file.insert(file.end(), row.begin(), row.end());
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return static_cast<bool>(out);
}

FontDescription face(int size, int bold, int hex) {
    FontDescription d;
    d.size = uint8_t(size);
    d.bold = bold;
    d.red = uint8_t(hex >> 16), d.green = uint8_t(hex >> 8), d.blue = uint8_t(hex);
    return d;
}

void background(CCBitmap& out) {
    Canvas canvas(480, 240);
    const Colour magenta = rgb(0xFF00FF);
    canvas.fill([](float, float) { return true; }, solid(magenta), false);
    // Window shape: hard-edged, so no blend with the key colour leaves a pink fringe.
    const auto window = roundRect(0, 0, 480, 240, 14);
    canvas.fill(window, [](int, int y) { return bodyAt(y); }, false);
    const auto header = [&](float x, float y) { return y < 72 && window(x, y); };
    canvas.fill(header, vertical(rgb(0x233247), rgb(0x162130), 0, 72), false);
    canvas.fill([&](float x, float y) { return y >= 72 && y < 74 && window(x, y); },
                solid(rgb(0x2F8FDB)), false);
    // The message panel, with a soft shadow and a hairline border. It reaches a
    // little beyond the message area so that its text does not touch the border.
    canvas.fill(roundRect(43, 78, 348, 199, 9), solid(rgb(0x000000, 0.06f)));
    canvas.fill(roundRect(42, 76, 346, 196, 8), solid(rgb(0xC5CFDA)));
    canvas.fill(roundRect(43, 77, 345, 195, 7), solid(rgb(0xFFFFFF)));
    canvas.toBitmap(out);

    CCDrawContext context(&out);
    const FontData tondoBold = embeddedFont(FontRole::TondoBold);
    const FontData tondo = embeddedFont(FontRole::TondoRegular);
    findFont(face(19, 1, 0xFFFFFF), tondoBold.data, tondoBold.size)
        ->drawText(&context, "Quorix Firmware Updater", CCRect{24, 12, 400, 38}, ALIGN_LEFT);
    findFont(face(11, 0, 0x8FA3BA), tondo.data, tondo.size)
        ->drawText(&context, "USB HID firmware update", CCRect{24, 36, 300, 50}, ALIGN_LEFT);
}

void progressTrack(CCBitmap& out) {
    Canvas canvas(209, 18);
    canvas.fill([](float, float) { return true; }, [](int, int y) { return bodyAt(206 + y); }, false);
    canvas.fill(roundRect(0, 0, 209, 18, 9), solid(rgb(0xB9C4D0)));
    canvas.fill(roundRect(1, 1, 208, 17, 8), vertical(rgb(0xCBD4DE), rgb(0xDCE3EA), 1, 17));
    canvas.toBitmap(out);
}

void progressBar(CCBitmap& out) {
    Canvas canvas(200, 12);
    canvas.fill([](float, float) { return true; }, vertical(rgb(0xCBD4DE), rgb(0xDCE3EA), -3, 13), false);
    canvas.fill(roundRect(0, 0, 200, 12, 6), vertical(rgb(0x4DB0F5), rgb(0x1F78C8), 0, 12));
    canvas.fill(roundRect(2, 1, 198, 5, 2), solid(rgb(0xFFFFFF, 0.25f)));
    canvas.toBitmap(out);
}

// Three 85-pixel cells: hover, normal, pressed.
void button(CCBitmap& out, const char* label) {
    Canvas canvas(255, 24);
    canvas.fill([](float, float) { return true; }, solid(Colour{0, 0, 0, 0}), false);
    const Colour tops[3] = {rgb(0x4FA9EE), rgb(0x2F8FDB), rgb(0x1D6AAA)};
    const Colour bottoms[3] = {rgb(0x2F8FDB), rgb(0x2273B8), rgb(0x195B92)};
    for (int cell = 0; cell < 3; ++cell) {
        const float left = cell * 85.0f;
        canvas.fill(roundRect(left + 0.5f, 0.5f, left + 84.5f, 23.5f, 6), solid(rgb(0x15507F)));
        canvas.fill(roundRect(left + 1.5f, 1.5f, left + 83.5f, 22.5f, 5),
                    vertical(tops[cell], bottoms[cell], 1, 23));
    }
    canvas.toBitmap(out);
    CCDrawContext context(&out);
    CCFont* font = findFont(face(12, 1, 0xFFFFFF));
    for (int cell = 0; cell < 3; ++cell) {
        const int drop = cell == 2 ? 1 : 0; // the pressed label sinks a pixel
        font->drawText(&context, label, CCRect{cell * 85, drop, cell * 85 + 85, 24 + drop}, ALIGN_CENTRE);
    }
}

// Three 30-pixel cells: hover, normal, pressed.
void closeButton(CCBitmap& out) {
    Canvas canvas(90, 30);
    canvas.fill([](float, float) { return true; }, solid(Colour{0, 0, 0, 0}), false);
    const Colour discs[3] = {rgb(0xE0484D), Colour{0, 0, 0, 0}, rgb(0xAE3236)};
    const Colour crosses[3] = {rgb(0xFFFFFF), rgb(0xC3CDD8), rgb(0xF2D5D6)};
    for (int cell = 0; cell < 3; ++cell) {
        const float cx = cell * 30 + 15.0f, cy = 15.0f;
        if (discs[cell].a > 0)
            canvas.fill([=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= 12.5f * 12.5f; },
                        solid(discs[cell]));
        const auto cross = [=](float x, float y) {
            const float u = x - cx, v = y - cy;
            if (std::fabs(u) > 5.6f || std::fabs(v) > 5.6f)
                return false;
            return std::fabs(u - v) <= 1.6f || std::fabs(u + v) <= 1.6f;
        };
        canvas.fill(cross, solid(crosses[cell]));
    }
    canvas.toBitmap(out);
}

// A scroller's arrow key, 15 x 15: a light key with a dark triangle pointing along
// (dx, dy), in the progress track's colours.
void scrollArrow(CCBitmap& out, int dx, int dy) {
    Canvas canvas(15, 15);
    canvas.fill([](float, float) { return true; }, solid(Colour{0, 0, 0, 0}), false);
    canvas.fill(roundRect(0, 0, 15, 15, 3), solid(rgb(0xB9C4D0)));
    canvas.fill(roundRect(1, 1, 14, 14, 2), vertical(rgb(0xF7F9FB), rgb(0xE3E8EE), 1, 14));
    const float cx = 7.5f, cy = 7.5f;
    canvas.fill([=](float x, float y) {
        const float along = (x - cx) * dx + (y - cy) * dy;
        const float across = (y - cy) * dx - (x - cx) * dy;
        return along >= -2.5f && along <= 2.5f && std::fabs(across) <= (2.5f - along) * 0.7f;
    }, solid(rgb(0x233247)));
    canvas.toBitmap(out);
}

// A scroller's thumb, 30 long and 15 across: a blue bar as the progress bar's, with
// two grip lines in its middle.
void scrollThumb(CCBitmap& out, bool upright) {
    const int width = upright ? 15 : 30, height = upright ? 30 : 15;
    Canvas canvas(width, height);
    canvas.fill([](float, float) { return true; }, solid(Colour{0, 0, 0, 0}), false);
    // (along, across) to (x, y).
    const auto box = [upright](float a0, float c0, float a1, float c1, float radius) {
        return upright ? roundRect(c0, a0, c1, a1, radius) : roundRect(a0, c0, a1, c1, radius);
    };
    canvas.fill(box(0, 2, 30, 13, 5.5f), solid(rgb(0x1D6AAA)));
    if (upright)
        canvas.fill(box(1, 3, 29, 12, 4.5f), horizontal(rgb(0x4DB0F5), rgb(0x1F78C8), 3, 12));
    else
        canvas.fill(box(1, 3, 29, 12, 4.5f), vertical(rgb(0x4DB0F5), rgb(0x1F78C8), 3, 12));
    for (float along : {13.0f, 16.0f})
        canvas.fill(box(along, 5, along + 1, 10, 0), solid(rgb(0xFFFFFF, 0.55f)));
    canvas.toBitmap(out);
}

// The table rows' on/off button, three 10-pixel cells: on (a blue box with a white
// tick), off (an empty white box), pressed.
void rowButton(CCBitmap& out) {
    Canvas canvas(30, 10);
    canvas.fill([](float, float) { return true; }, solid(Colour{0, 0, 0, 0}), false);
    const Colour borders[3] = {rgb(0x15507F), rgb(0x8FA3BA), rgb(0x15507F)};
    for (int cell = 0; cell < 3; ++cell) {
        const float left = cell * 10.0f;
        canvas.fill(roundRect(left, 0, left + 10, 10, 2.5f), solid(borders[cell]));
        const auto face = roundRect(left + 1, 1, left + 9, 9, 1.5f);
        if (cell == 0)
            canvas.fill(face, vertical(rgb(0x4FA9EE), rgb(0x2273B8), 1, 9));
        else
            canvas.fill(face, solid(rgb(cell == 1 ? 0xFFFFFF : 0xC5CFDA)));
    }
    canvas.fill([](float x, float y) {
        return nearSegment(x, y, 2.6f, 5.0f, 4.3f, 6.8f, 1.5f) || nearSegment(x, y, 4.3f, 6.8f, 7.5f, 3.0f, 1.5f);
    }, solid(rgb(0xFFFFFF)));
    canvas.toBitmap(out);
}

// The application icon, drawn on a 48 x 48 grid at `size` pixels: a chip in the page's
// header colours with an arrow up through it (an update going onto the device).
// Transparent outside the rounded square.
void appIcon(CCBitmap& out, int size = 48) {
    Canvas canvas(size, size, 48.0f / size);
    canvas.fill([](float, float) { return true; }, solid(Colour{0, 0, 0, 0}), false);
    canvas.fill(roundRect(1, 1, 47, 47, 9), vertical(rgb(0x2B3D56), rgb(0x162130), 1, 47));
    // The chip: pins left and right, then its body.
    for (int pin = 0; pin < 4; ++pin) {
        const float y = 15.5f + pin * 5.0f;
        canvas.fill(roundRect(9, y, 39, y + 2, 0.5f), solid(rgb(0x8FA3BA)));
    }
    canvas.fill(roundRect(13, 11, 35, 37, 3), solid(rgb(0x2F8FDB)));
    canvas.fill(roundRect(15, 13, 33, 35, 2), vertical(rgb(0x233247), rgb(0x1B293B), 13, 35));
    // The arrow: a shaft and a head, pointing up.
    canvas.fill(roundRect(22, 21, 26, 31, 1), solid(rgb(0x4DB0F5)));
    canvas.fill([](float x, float y) { return y >= 15 && y <= 23 && std::fabs(x - 24) <= (y - 15) * 0.75f + 0.5f; },
                solid(rgb(0x4DB0F5)));
    canvas.toBitmap(out);
}

// The icon theme's copies of the application icon: DIR/NxN/apps/quorix-updater.png.
// The folders must exist (the build makes them).
int writeThemeIcons(const std::string& dir) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        CCBitmap icon;
        appIcon(icon, size);
        const std::string side = std::to_string(size);
        const std::string path = dir + "/" + side + "x" + side + "/apps/quorix-updater.png";
        if (!png::writeWithAlpha(path, icon)) {
            std::fprintf(stderr, "skin-gen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--icons")
        return writeThemeIcons(argv[2]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skin-gen OUTDIR | skin-gen --icons THEMEDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    startFonts();
    CCBitmap page, track, bar, update, open, close, icon, icon16, icon32;
    CCBitmap left, right, up, down, upright, flat, row;
    background(page);
    progressTrack(track);
    progressBar(bar);
    button(update, "Update");
    button(open, "Open File");
    closeButton(close);
    appIcon(icon);
    appIcon(icon16, 16);
    appIcon(icon32, 32);
    scrollArrow(left, -1, 0);
    scrollArrow(right, 1, 0);
    scrollArrow(up, 0, -1);
    scrollArrow(down, 0, 1);
    scrollThumb(upright, true);
    scrollThumb(flat, false);
    rowButton(row);
    const bool ok = writeBmp(dir + "/bitmap200.bmp", page, 24) &&
                    writeBmp(dir + "/bitmap202.bmp", track, 24) &&
                    writeBmp(dir + "/bitmap203.bmp", bar, 24) &&
                    writeBmp(dir + "/bitmap204.bmp", update, 32) &&
                    writeBmp(dir + "/bitmap205.bmp", open, 32) &&
                    writeBmp(dir + "/bitmap206.bmp", close, 32) &&
                    writeBmp(dir + "/bitmap1000.bmp", left, 32) &&
                    writeBmp(dir + "/bitmap1001.bmp", right, 32) &&
                    writeBmp(dir + "/bitmap1002.bmp", up, 32) &&
                    writeBmp(dir + "/bitmap1003.bmp", down, 32) &&
                    writeBmp(dir + "/bitmap1004.bmp", upright, 32) &&
                    writeBmp(dir + "/bitmap1005.bmp", flat, 32) &&
                    writeBmp(dir + "/bitmap5000.bmp", row, 32) &&
                    writeBmp(dir + "/icon.bmp", icon, 32) &&
                    writeIco(dir + "/quorix.ico", {&icon16, &icon32, &icon});
    if (!ok) {
        std::fprintf(stderr, "skin-gen: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
