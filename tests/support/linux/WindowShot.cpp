// Test helper for the end-to-end runs under Xvfb: finds a window by its WM_CLASS,
// captures what the screen shows where it is (so keyed-out corners show what lies
// behind) and compares that with a golden image in which the key colour marks the
// holes.
//
//   x11-window-shot --class NAME [--out FILE.png] [--golden FILE.png --behind RRGGBB]
//                   [--wait MS]
//     (a window a whole multiple of the golden's size, as on a high-DPI screen, is
//     compared block by block)
//   x11-window-shot --paint-root RRGGBB
//   x11-window-shot --class NAME --gone MS      exits 0 once no such window exists
//   x11-window-shot --class NAME --close        asks the window to close, as a window
//                                               manager does (WM_DELETE_WINDOW)
//
// Exit status: 0 found (and matching), 1 not found or different, 2 usage.
#include "PngImage.h"
#include "X11FindWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// A window that goes away while it is looked at is an answer, not the end.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

unsigned long parseColour(const char* text) {
    return std::strtoul(text, nullptr, 16) & 0xFFFFFFul;
}

} // namespace

int main(int argc, char** argv) {
    std::string windowClass, out, golden;
    long behind = -1, paintRoot = -1;
    int waitMs = 0, goneMs = -1;
    bool closeIt = false;
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--close") {
            closeIt = true;
            --i; // no value
            continue;
        }
        if (i + 1 >= argc)
            return 2;
        if (option == "--class")
            windowClass = argv[i + 1];
        else if (option == "--out")
            out = argv[i + 1];
        else if (option == "--golden")
            golden = argv[i + 1];
        else if (option == "--behind")
            behind = long(parseColour(argv[i + 1]));
        else if (option == "--paint-root")
            paintRoot = long(parseColour(argv[i + 1]));
        else if (option == "--wait")
            waitMs = std::atoi(argv[i + 1]);
        else if (option == "--gone")
            goneMs = std::atoi(argv[i + 1]);
        else
            return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x11-window-shot: no display\n");
        return 2;
    }
    XSetErrorHandler(ignoreXError);
    const Window rootWindow = DefaultRootWindow(display);
    if (paintRoot >= 0) {
        XSetWindowBackground(display, rootWindow, static_cast<unsigned long>(paintRoot));
        XClearWindow(display, rootWindow);
        XFlush(display);
        XCloseDisplay(display);
        return 0;
    }
    if (windowClass.empty())
        return 2;

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, goneMs));
    Window window = 0;
    for (;;) {
        window = findWindowByClass(display, rootWindow, windowClass, 1);
        if (goneMs >= 0 ? !window : window != 0)
            break;
        if (std::chrono::steady_clock::now() >= end)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (goneMs >= 0) {
        XCloseDisplay(display);
        return window ? 1 : 0;
    }
    if (!window) {
        std::fprintf(stderr, "x11-window-shot: no window of class %s\n", windowClass.c_str());
        XCloseDisplay(display);
        return 1;
    }

    if (closeIt) {
        XEvent close = {};
        close.xclient.type = ClientMessage;
        close.xclient.window = window;
        close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &close);
        XCloseDisplay(display);
        return 0;
    }

    int result = 0;
    do {
        XWindowAttributes attributes;
        XGetWindowAttributes(display, window, &attributes);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, window, rootWindow, 0, 0, &x, &y, &child);
        // From the root: what the screen shows, holes included.
        XImage* image = XGetImage(display, rootWindow, x, y, unsigned(attributes.width),
                                  unsigned(attributes.height), AllPlanes, ZPixmap);
        if (!image)
            return 1;
        png::Image shot;
        shot.width = attributes.width;
        shot.height = attributes.height;
        shot.rgb.resize(size_t(shot.width) * size_t(shot.height) * 3);
        for (int row = 0; row < shot.height; ++row)
            for (int column = 0; column < shot.width; ++column) {
                const unsigned long pixel = XGetPixel(image, column, row);
                uint8_t* p = &shot.rgb[(size_t(row) * size_t(shot.width) + size_t(column)) * 3];
                p[0] = uint8_t(pixel >> 16), p[1] = uint8_t(pixel >> 8), p[2] = uint8_t(pixel);
            }
        XDestroyImage(image);
        if (!out.empty())
            png::write(out, shot);
        if (golden.empty())
            break;
        png::Image expected;
        const bool readable = png::read(golden, expected) && expected.width > 0 && expected.height > 0;
        // A window on a high-DPI screen shows each page pixel as a whole block: every
        // block must be one colour, and its colour the golden one.
        const int scale = readable ? shot.width / expected.width : 0;
        if (!readable || scale < 1 || shot.width != expected.width * scale || shot.height != expected.height * scale) {
            std::fprintf(stderr, "x11-window-shot: golden %s unreadable or of another size\n", golden.c_str());
            return 1;
        }
        size_t differing = 0;
        if (scale > 1) {
            png::Image sampled;
            sampled.width = expected.width;
            sampled.height = expected.height;
            sampled.rgb.resize(expected.rgb.size());
            for (int row = 0; row < shot.height; ++row)
                for (int column = 0; column < shot.width; ++column) {
                    const uint8_t* p = &shot.rgb[(size_t(row) * size_t(shot.width) + size_t(column)) * 3];
                    uint8_t* q = &sampled.rgb[(size_t(row / scale) * size_t(sampled.width) + size_t(column / scale)) * 3];
                    if (row % scale == 0 && column % scale == 0)
                        std::memcpy(q, p, 3);
                    else
                        differing += std::memcmp(q, p, 3) != 0;
                }
            shot = sampled;
        }
        for (size_t i = 0; i < shot.rgb.size(); i += 3) {
            const bool hole = expected.rgb[i] == 255 && expected.rgb[i + 1] == 0 && expected.rgb[i + 2] == 255;
            const uint8_t want[3] = {hole ? uint8_t(behind >> 16) : expected.rgb[i],
                                     hole ? uint8_t(behind >> 8) : expected.rgb[i + 1],
                                     hole ? uint8_t(behind) : expected.rgb[i + 2]};
            if (hole && behind < 0)
                continue;
            differing += std::memcmp(want, &shot.rgb[i], 3) != 0;
        }
        result = differing ? 1 : 0;
        if (result && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue; // the window may still be on its way there
        }
        if (result)
            std::fprintf(stderr, "x11-window-shot: %zu pixels differ from %s\n", differing, golden.c_str());
        break;
    } while (true);
    XCloseDisplay(display);
    return result;
}
