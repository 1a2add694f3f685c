#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// A window's client area as its device context holds it: 4 bytes per pixel (blue,
// green, red, unused), top-down. Holes a colour key cuts keep the key colour here.
inline bool captureClient(HWND window, int& width, int& height, std::vector<uint8_t>& bgrx) {
    RECT client{};
    if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0)
        return false;
    width = client.right;
    height = client.bottom;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool read = bitmap != nullptr;
    if (read) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        read = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        const auto* in = static_cast<const uint8_t*>(bits);
        if (read)
            bgrx.assign(in, in + size_t(width) * size_t(height) * 4);
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(window, source);
    return read;
}
