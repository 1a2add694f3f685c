#pragma once

#include "CCMsg.h"
#include "CCPreference.h"
#include "ShellDependencies.h"
#include "UiPlatform.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class CAudioEffect;
class CCEditor;
class CBackPage;

// Window position in the settings: left in bits 0-15, top in bits 16-31, each a
// 16-bit two's-complement screen coordinate.
uint32_t packWindowPosition(int left, int top);
// A saved position made safe: negative coordinates become 0, and a window that
// would reach the work area's right (bottom) edge is moved to end one pixel inside.
void unpackWindowPosition(uint32_t packed, int width, int height, int workWidth, int workHeight,
                          int& left, int& top);

// The program's one window: borderless, 480 x 240, magenta keyed out, accepting
// dropped files, remembering its place. It owns the plug-in object, whose editor
// draws and handles everything inside it.
class CMainWindow : public WindowHandler {
public:
    static constexpr const char* kClassName = "Quorix-Firmware-Main-C7WK0-3HYR7";
    static constexpr const char* kTitle = "Quorix Firmware Updater";
    static constexpr const char* kPositionValue = "MainWindow_p";
    static constexpr uint32_t kForegroundTimer = 2;
    static constexpr uint32_t kForegroundTimerMs = 200;
    static constexpr uint32_t kCommandLineTimer = 3;
    static constexpr uint32_t kCommandLineDelayMs = 100;

    CMainWindow(const ShellDependencies& dependencies, SettingsStore* settings);
    ~CMainWindow() override;
    CMainWindow(const CMainWindow&) = delete;
    CMainWindow& operator=(const CMainWindow&) = delete;

    // Makes the window, its contents (the editor opens its child window in it) and
    // the first full drawing, and shows it as the start asked.
    // False when no window could be made.
    bool create(ShowCommand show = ShowCommand::Normal);
    void onWindowEvent(PlatformWindow* window, const WindowEvent& event) override;

    // A file from outside: only the first of several, refused during an update.
    void dropFiles(const std::vector<std::string>& paths);
    // The update named on the command line: its texts at once, its start (which
    // waits up to 10 s for the device) from the event loop, once the window has
    // been painted.
    void startCommandLineUpdate(const std::string& path, const std::string& identity);
    // Queued for this window; discarded unread on the next plain event.
    void post(const CCMsg& msg) { pending_.push_back(msg); }
    size_t pendingCount() const { return pending_.size(); }

    PlatformWindow* window() const { return window_; }
    CAudioEffect* effect() const { return effect_.get(); }
    CCEditor* editor() const;
    CBackPage* page() const;
    bool inForeground() const { return inForeground_; }
    bool closed() const { return window_ == nullptr; }

private:
    void handleEvent(const WindowEvent& event);
    void destroy();
    void restoreOrCentre();

    ShellDependencies dependencies_;
    SettingsStore* settings_;
    // The preferences use the window's settings while it lives (restored after the
    // members below it are gone).
    CCPreferenceManager::ScopedProcessStore preferenceStore_;
    PlatformWindow* window_ = nullptr;
    std::unique_ptr<CAudioEffect> effect_;
    std::deque<CCMsg> pending_;
    bool inForeground_ = false;
    // A close that arrives inside another event (the OS's move loop runs events
    // while a press is still being handled) waits until that event is done.
    int eventDepth_ = 0;
    bool closePending_ = false;
    std::string commandLinePath_, commandLineIdentity_;
};
