#pragma once

#include <cstddef>
#include <cstdint>

// Pixel memory for an off-screen image: 32 bits per pixel, bottom-up rows. On
// Windows a DIB section (so GDI can present it), elsewhere a plain buffer.
struct OffscreenPixels {
    uint8_t* pixels = nullptr;
    void* handle = nullptr; // the DIB section, where there is one
};

OffscreenPixels allocateOffscreen(int width, int height);
void releaseOffscreen(OffscreenPixels& offscreen);

// The program's bitmap resource with this id: a 40-byte BITMAPINFOHEADER followed
// by the pixel rows. False when there is none.
bool findBitmapResource(int id, const uint8_t*& data, size_t& size);

// Once at framework start: what the OS needs before drawing and timers (on Windows
// a 1 ms timer resolution).
void platformStartGraphics();
