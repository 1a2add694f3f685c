#include "PlatformGraphics.h"

#include <windows.h>

OffscreenPixels allocateOffscreen(int width, int height) {
    OffscreenPixels offscreen;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // positive: bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section && bits) {
        offscreen.pixels = static_cast<uint8_t*>(bits);
        offscreen.handle = section;
    } else if (section) {
        DeleteObject(section);
    }
    return offscreen;
}

void releaseOffscreen(OffscreenPixels& offscreen) {
    if (offscreen.handle)
        DeleteObject(static_cast<HBITMAP>(offscreen.handle));
    offscreen = OffscreenPixels{};
}

bool findBitmapResource(int id, const uint8_t*& data, size_t& size) {
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2)); // RT_BITMAP
    if (!resource)
        return false;
    const HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded)
        return false;
    data = static_cast<const uint8_t*>(LockResource(loaded));
    size = SizeofResource(module, resource);
    return data != nullptr;
}

void platformStartGraphics() {
    timeBeginPeriod(1);
}
