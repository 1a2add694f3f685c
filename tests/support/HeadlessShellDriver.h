#pragma once

// The shell's user over the headless platform: window timers on its test clock (50
// ms a step), the worker in real time beside them, events handed straight to the
// windows' handlers.
#include "HeadlessPlatform.h"
#include "HeadlessSettings.h"
#include "ShellDriver.h"

#include <chrono>
#include <thread>

class HeadlessShellDriver : public ShellDriver {
public:
    // Dialogs stay open until the scenario answers them, as a user's would.
    HeadlessShellDriver() { memory_.answerDialogsAtPump = false; }

    UiPlatform& platform() override { return memory_; }
    SettingsStore& settings() override { return settings_; }

    bool until(const std::function<bool()>& done, int limitMs) override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            memory_.advance(50);
            memory_.pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    void pump() override { memory_.pump(); }

    void mouse(PlatformWindow* window, WindowEvent::Button button, int x, int y) override {
        const HeadlessWindow* top = of(window)->parent ? of(window)->parent : of(window);
        WindowEvent event;
        event.kind = WindowEvent::Kind::Mouse;
        event.button = button;
        event.x = x, event.y = y;
        event.screenX = top->x + x, event.screenY = top->y + y;
        memory_.deliver(window, event);
    }
    void drop(PlatformWindow* window, const std::vector<std::string>& paths) override {
        WindowEvent event;
        event.kind = WindowEvent::Kind::Drop;
        event.paths = paths;
        memory_.deliver(window, event);
    }
    void close(PlatformWindow* window) override {
        memory_.postClose(window);
        memory_.pump();
    }

    std::string className(PlatformWindow* window) override { return of(window)->request.className; }
    bool gone(PlatformWindow* window) override { return of(window)->destroyed; }
    PlatformWindow* captured() override { return memory_.captured; }
    PlatformWindow* focused() override { return memory_.focused; }
    bool quitPosted() override { return memory_.quitPosted(); }
    int drags() override { return memory_.drags; }
    bool screen(PlatformWindow* window, CCBitmap& shot) override {
        const HeadlessWindow* shown = of(window);
        if (!shot.createBlank(shown->width, shown->height))
            return false;
        for (int y = 0; y < shown->height; ++y)
            for (int x = 0; x < shown->width; ++x) {
                const uint8_t* in = &shown->screen[(size_t(y) * size_t(shown->width) + size_t(x)) * 3];
                uint8_t* out = shot.pixelAt(x, y);
                out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
            }
        return true;
    }
    bool showsKeyColour() const override { return true; }

    std::vector<FileDialogShown> fileDialogs() override {
        std::vector<FileDialogShown> shown;
        for (const FileDialogRequest& request : memory_.fileDialogs)
            shown.push_back({request.title, request.filters.empty() ? "" : request.filters.front().first});
        return shown;
    }
    bool fileDialogOpen() override { return memory_.fileDialogOpen(); }
    bool answerFileDialog(const std::optional<std::string>& path) override { return memory_.answerFileDialog(path); }

    HeadlessPlatform* memory() override { return &memory_; }
    HeadlessSettings& savedValues() { return settings_; }

private:
    static HeadlessWindow* of(PlatformWindow* window) { return static_cast<HeadlessWindow*>(window); }

    HeadlessPlatform memory_;
    HeadlessSettings settings_;
};
