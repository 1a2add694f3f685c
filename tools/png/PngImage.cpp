#include "PngImage.h"

#include "CCBitmap.h"

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>

namespace png {

namespace {

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxSide = 16384;

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0xFFFFFFFFu) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

void putBe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t getBe32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBe32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBe32(out, ~crc32(out.data() + start, out.size() - start));
}

// pixels: top row first, `channels` bytes each (3: RGB, 4: RGBA).
bool writePixels(const std::string& path, int width, int height, int channels,
                 const std::vector<uint8_t>& pixels) {
    if (width <= 0 || height <= 0 || pixels.size() != size_t(width) * size_t(height) * size_t(channels))
        return false;
    std::vector<uint8_t> raw; // each row: filter byte 0, then the pixels
    const size_t stride = size_t(width) * size_t(channels);
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), pixels.begin() + long(y * stride), pixels.begin() + long((y + 1) * stride));
    }
    std::vector<uint8_t> zlib = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0;) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        const bool last = at + n == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(n));
        zlib.push_back(static_cast<uint8_t>(n >> 8));
        zlib.push_back(static_cast<uint8_t>(~n));
        zlib.push_back(static_cast<uint8_t>(~n >> 8));
        zlib.insert(zlib.end(), raw.begin() + long(at), raw.begin() + long(at + n));
        at += n;
        if (last)
            break;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBe32(zlib, (b << 16) | a);

    std::vector<uint8_t> file(kSignature, kSignature + 8);
    std::vector<uint8_t> header;
    putBe32(header, uint32_t(width));
    putBe32(header, uint32_t(height));
    // 8 bits, RGB or RGBA, deflate, no filter set, no interlace
    header.insert(header.end(), {8, uint8_t(channels == 4 ? 6 : 2), 0, 0, 0});
    chunk(file, "IHDR", header);
    chunk(file, "IDAT", zlib);
    chunk(file, "IEND", {});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    return static_cast<bool>(out);
}

} // namespace

bool write(const std::string& path, const Image& image) {
    return writePixels(path, image.width, image.height, 3, image.rgb);
}

bool writeWithAlpha(const std::string& path, const CCBitmap& bitmap) {
    if (!bitmap.valid())
        return false;
    std::vector<uint8_t> rgba;
    rgba.reserve(size_t(bitmap.width()) * size_t(bitmap.height()) * 4);
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x) {
            const uint8_t* p = bitmap.pixelAt(x, y);
            rgba.insert(rgba.end(), {p[2], p[1], p[0], p[3]});
        }
    return writePixels(path, bitmap.width(), bitmap.height(), 4, rgba);
}

bool read(const std::string& path, Image& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::vector<uint8_t> file(std::istreambuf_iterator<char>(in), {});
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0)
        return false;
    std::vector<uint8_t> zlib;
    uint32_t width = 0, height = 0;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = getBe32(&file[at]);
        if (length > file.size() - at - 12)
            return false;
        const uint8_t* type = &file[at + 4];
        const uint8_t* data = &file[at + 8];
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (length != 13 || data[8] != 8 || data[9] != 2 || data[12] != 0)
                return false;
            width = getBe32(data);
            height = getBe32(data + 4);
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            zlib.insert(zlib.end(), data, data + length);
        }
        at += 12 + length;
    }
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || zlib.size() < 2)
        return false;
    std::vector<uint8_t> raw;
    size_t at = 2;
    for (bool last = false; !last;) {
        if (at + 5 > zlib.size() || (zlib[at] & 0x06) != 0) // stored blocks only
            return false;
        last = zlib[at] & 1;
        const size_t n = zlib[at + 1] | (zlib[at + 2] << 8);
        at += 5;
        if (n > zlib.size() - at)
            return false;
        raw.insert(raw.end(), zlib.begin() + long(at), zlib.begin() + long(at + n));
        at += n;
    }
    const size_t stride = size_t(width) * 3;
    if (raw.size() != (stride + 1) * height)
        return false;
    image.width = int(width);
    image.height = int(height);
    image.rgb.clear();
    for (uint32_t y = 0; y < height; ++y) {
        if (raw[y * (stride + 1)] != 0)
            return false;
        const auto row = raw.begin() + long(y * (stride + 1) + 1);
        image.rgb.insert(image.rgb.end(), row, row + long(stride));
    }
    return true;
}

Image fromBitmap(const CCBitmap& bitmap) {
    Image image;
    if (!bitmap.valid())
        return image;
    image.width = bitmap.width();
    image.height = bitmap.height();
    image.rgb.reserve(size_t(image.width) * size_t(image.height) * 3);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = bitmap.pixelAt(x, y);
            image.rgb.insert(image.rgb.end(), {p[2], p[1], p[0]});
        }
    return image;
}

} // namespace png
