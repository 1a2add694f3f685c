#pragma once

// What the backend tests of every OS share: a handler that records the events of
// its windows, and a page image to present.
#include "UiPlatform.h"

#include <cstdint>
#include <functional>
#include <vector>

struct Recorder : WindowHandler {
    std::vector<WindowEvent> events;
    std::function<void(PlatformWindow*, const WindowEvent&)> also;
    void onWindowEvent(PlatformWindow* window, const WindowEvent& event) override {
        events.push_back(event);
        if (also)
            also(window, event);
    }
    int count(WindowEvent::Kind kind, uint32_t timerId = 0) const {
        int n = 0;
        for (const WindowEvent& e : events)
            n += e.kind == kind && (kind != WindowEvent::Kind::Timer || e.timerId == timerId);
        return n;
    }
    const WindowEvent* last(WindowEvent::Kind kind) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->kind == kind)
                return &*it;
        return nullptr;
    }
    // A mouse event at that client point was recorded.
    bool mouseAt(int x, int y) const {
        for (const WindowEvent& e : events)
            if (e.kind == WindowEvent::Kind::Mouse && e.x == x && e.y == y)
                return true;
        return false;
    }
    std::vector<WindowEvent::Button> buttons() const {
        std::vector<WindowEvent::Button> result;
        for (const WindowEvent& e : events)
            if (e.kind == WindowEvent::Kind::Mouse && e.button != WindowEvent::Button::Move)
                result.push_back(e.button);
        return result;
    }
};

// Bottom-up BGRA, as the page framework draws.
struct Picture {
    int width, height;
    std::vector<uint8_t> bytes;
    Picture(int w, int h, uint32_t rgb) : width(w), height(h), bytes(size_t(w) * size_t(h) * 4) {
        fill(PixelRect{0, 0, w, h}, rgb);
    }
    void fill(const PixelRect& r, uint32_t rgb) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                uint8_t* p = &bytes[(size_t(height - 1 - y) * size_t(width) + size_t(x)) * 4];
                p[0] = uint8_t(rgb), p[1] = uint8_t(rgb >> 8), p[2] = uint8_t(rgb >> 16), p[3] = 0xFF;
            }
    }
    PixelImage image() const { return PixelImage{bytes.data(), width, height, size_t(width) * 4}; }
};
