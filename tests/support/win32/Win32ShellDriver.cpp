// The scenario runs on a fiber of the user-interface thread; the driver's message
// loop runs on the thread's own fiber and hands over to the scenario after each turn
// and on a thread timer. The timer fires inside the system's modal loops too (the
// file dialog's, a window move's), so a scenario goes on while one of them runs,
// as a user would, and never runs a message loop itself.
#include "Win32ShellDriver.h"

#include "DropHandle.h"
#include "Win32Platform.h"
#include "Win32Settings.h"
#include "WindowCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT kMarkerMessage = WM_APP + 100; // lParam: the marker's number
constexpr UINT kTurnMs = 10;                  // the thread timer that lets the scenario go on
constexpr int kFileTypeList = 1136;           // cmb1 of the open-file dialog
constexpr int kFileNameBox = 1152;            // edt1
constexpr int kFileNameCombo = 1148;          // cmb13, where the system puts the name in a combo box
constexpr const char* kMarkerClass = "Quorix-Shell-Driver";
constexpr const char* kSettingsParent = "SOFTWARE\\Quorix";

class Win32ShellDriver;
Win32ShellDriver* running = nullptr; // the driver of this thread, for the system's callbacks

// The open-file dialog of this thread, once it is shown.
HWND findDialog() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM out) -> BOOL {
            char name[16] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::string(name) != "#32770" || !IsWindowVisible(window))
                return TRUE;
            *reinterpret_cast<HWND*>(out) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

class Win32ShellDriver final : public ShellDriver {
public:
    Win32ShellDriver(std::unique_ptr<Win32Platform> platform, HWND markers)
        : platform_(std::move(platform)), markers_(markers),
          settingsKey_(std::string(kSettingsParent) + "\\Shell Test " + std::to_string(GetCurrentProcessId())),
          settings_(settingsKey_) {
        RegDeleteKeyA(HKEY_CURRENT_USER, settingsKey_.c_str()); // left by a run that crashed
        running = this;
        hook_ = SetWindowsHookExA(WH_CBT, &Win32ShellDriver::systemHook, nullptr, GetCurrentThreadId());
        SetCursorPos(0, 0); // away from the window: no button shows the hover look
    }
    ~Win32ShellDriver() override {
        drain();
        if (hook_)
            UnhookWindowsHookEx(hook_);
        platform_.reset();
        DestroyWindow(markers_);
        running = nullptr;
        RegDeleteKeyA(HKEY_CURRENT_USER, settingsKey_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsParent); // only while empty: the program's key stays
    }

    UiPlatform& platform() override { return *platform_; }
    SettingsStore& settings() override { return settings_; }

    void run(const std::function<void()>& scenario) override {
        // The thread becomes a fiber for the run only.
        loopFiber_ = ConvertThreadToFiber(nullptr);
        ASSERT_NE(loopFiber_, nullptr) << "the thread cannot run fibers";
        scenario_ = &scenario;
        finished_ = false;
        quit_ = false;
        scenarioFiber_ = CreateFiber(0, &Win32ShellDriver::scenarioMain, this);
        const UINT_PTR turns = SetTimer(nullptr, 0, kTurnMs, &Win32ShellDriver::turn);
        resume();
        while (!finished_) {
            if (!platform_->pumpEvents(5))
                quit_ = true;
            resume();
        }
        KillTimer(nullptr, turns);
        DeleteFiber(scenarioFiber_);
        scenarioFiber_ = nullptr;
        ConvertFiberToThread();
        drain();
    }
    void opened(PlatformWindow* main, PlatformWindow* editor) override {
        for (PlatformWindow* window : {main, editor})
            handles_[window] = static_cast<HWND>(platform_->nativeWindow(window));
    }

    bool until(const std::function<bool()>& done, int limitMs) override {
        const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
        while (!done()) {
            if (Clock::now() > end)
                return false;
            step();
        }
        return true;
    }
    void pump() override {
        // Posted messages come in order; the loop hands over only with none left.
        const LPARAM marker = ++markersPosted_;
        if (!PostMessageA(markers_, kMarkerMessage, 0, marker))
            return;
        EXPECT_TRUE(until([&] { return drainedTo_ >= marker; }, 10000)) << "the loop is stuck";
    }

    void mouse(PlatformWindow* window, WindowEvent::Button button, int x, int y) override {
        using Button = WindowEvent::Button;
        const std::map<Button, std::pair<UINT, WPARAM>> messages = {
            {Button::LeftDown, {WM_LBUTTONDOWN, MK_LBUTTON}},
            {Button::LeftUp, {WM_LBUTTONUP, 0}},
            {Button::LeftDouble, {WM_LBUTTONDBLCLK, MK_LBUTTON}},
            {Button::RightDown, {WM_RBUTTONDOWN, MK_RBUTTON}},
            {Button::RightUp, {WM_RBUTTONUP, 0}},
            {Button::Move, {WM_MOUSEMOVE, 0}},
        };
        const auto message = messages.find(button);
        ASSERT_NE(message, messages.end()) << "no message for that button";
        const int scale = platform_->displayScale(window);
        const LPARAM at = MAKELPARAM(x * scale, y * scale);
        const bool posted = PostMessageA(handle(window), message->second.first, message->second.second, at);
        ASSERT_TRUE(posted) << "no window to click";
        pump();
    }
    void drop(PlatformWindow* window, const std::vector<std::string>& paths) override {
        HDROP files = makeDrop(paths);
        ASSERT_NE(files, nullptr);
        if (!PostMessageA(handle(window), WM_DROPFILES, reinterpret_cast<WPARAM>(files), 0)) {
            GlobalFree(files);
            FAIL() << "the drop was not posted";
        }
        pump();
    }
    void close(PlatformWindow* window) override {
        const bool posted = PostMessageA(handle(window), WM_CLOSE, 0, 0);
        EXPECT_TRUE(posted) << "no window to close";
        pump();
    }

    std::string className(PlatformWindow* window) override {
        char name[256] = {};
        return GetClassNameA(handle(window), name, sizeof name) > 0 ? name : "";
    }
    bool gone(PlatformWindow* window) override {
        return platform_->nativeWindow(window) == nullptr && !IsWindow(handle(window));
    }
    PlatformWindow* captured() override { return ours(GetCapture()); }
    PlatformWindow* focused() override { return ours(GetFocus()); }
    bool quitPosted() override { return quit_; }
    int drags() override { return drags_; }

    bool screen(PlatformWindow* window, CCBitmap& shot) override {
        int width = 0, height = 0;
        std::vector<uint8_t> bgrx;
        if (!captureClient(handle(window), width, height, bgrx) || !shot.createBlank(width, height))
            return false;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* pixel = &bgrx[(size_t(y) * size_t(width) + size_t(x)) * 4];
                uint8_t* out = shot.pixelAt(x, y);
                out[0] = pixel[0], out[1] = pixel[1], out[2] = pixel[2], out[3] = 255;
            }
        return true;
    }
    bool showsKeyColour() const override { return false; }

    std::vector<FileDialogShown> fileDialogs() override {
        noteDialog();
        return dialogs_;
    }
    bool fileDialogOpen() override { return findDialog() != nullptr; }
    bool answerFileDialog(const std::optional<std::string>& path) override {
        HWND dialog = findDialog();
        if (!dialog)
            return false;
        noteDialog();
        if (path) {
            HWND name = GetDlgItem(dialog, kFileNameBox);
            SetWindowTextW(name ? name : GetDlgItem(dialog, kFileNameCombo), wideFromUtf8(*path).c_str());
        }
        PostMessageA(dialog, WM_COMMAND, path ? IDOK : IDCANCEL, 0);
        // Once the dialog is gone its answer has reached the window.
        const bool ended = until([&] { return !IsWindow(dialog); }, 10000);
        pump();
        return ended;
    }

private:
    static void CALLBACK scenarioMain(void* self) {
        auto* driver = static_cast<Win32ShellDriver*>(self);
        try {
            (*driver->scenario_)();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the scenario threw: " << e.what();
        } catch (...) {
            ADD_FAILURE() << "the scenario threw";
        }
        driver->finished_ = true;
        SwitchToFiber(driver->loopFiber_); // a fiber's function must not return
    }
    static void CALLBACK turn(HWND, UINT, UINT_PTR, DWORD) {
        if (running)
            running->resume();
    }
    static LRESULT CALLBACK systemHook(int code, WPARAM wParam, LPARAM lParam) {
        // The move loop a drag starts is the system command SC_MOVE.
        if (code == HCBT_SYSCOMMAND && (wParam & 0xFFF0) == SC_MOVE && running)
            ++running->drags_;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    // From the loop, with no posted message waiting: the scenario's next stretch.
    void resume() {
        if (!scenarioFiber_ || inScenario_ || finished_) {
            if (finished_)
                endModalLoops();
            return;
        }
        noteDialog();
        drainedTo_ = markersHandled_;
        inScenario_ = true;
        SwitchToFiber(scenarioFiber_);
        inScenario_ = false;
    }
    // From the scenario: one turn of whichever loop runs.
    void step() {
        if (inScenario_)
            SwitchToFiber(loopFiber_);
        else if (!platform_->pumpEvents(5))
            quit_ = true;
    }
    // A scenario that stopped early may leave a dialog or a move loop open.
    void endModalLoops() {
        if (HWND dialog = findDialog())
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        if (HWND holder = GetCapture())
            PostMessageA(holder, WM_LBUTTONUP, 0, 0);
    }
    // What is left in the queue after a scenario (its quit above all) is not the next one's.
    void drain() {
        MSG message{};
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            if (message.message != WM_QUIT)
                DispatchMessageA(&message);
    }
    void noteDialog() {
        HWND dialog = findDialog();
        if (!dialog || dialog == lastDialog_)
            return;
        lastDialog_ = dialog;
        char title[256] = {}, firstType[256] = {};
        GetWindowTextA(dialog, title, sizeof title);
        HWND types = GetDlgItem(dialog, kFileTypeList);
        if (types && SendMessageA(types, CB_GETLBTEXTLEN, 0, 0) < LRESULT(sizeof firstType))
            SendMessageA(types, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(firstType));
        dialogs_.push_back({title, firstType});
    }

    HWND handle(PlatformWindow* window) const {
        const auto known = handles_.find(window);
        return known != handles_.end() ? known->second : static_cast<HWND>(platform_->nativeWindow(window));
    }
    PlatformWindow* ours(HWND window) {
        if (!window)
            return nullptr;
        for (const auto& [platformWindow, native] : handles_)
            if (native == window)
                return platformWindow;
        return &elsewhere_;
    }

    friend LRESULT CALLBACK markerProcedure(HWND, UINT, WPARAM, LPARAM);

    std::unique_ptr<Win32Platform> platform_;
    HWND markers_;
    std::string settingsKey_;
    Win32Settings settings_;
    HHOOK hook_ = nullptr;
    std::map<PlatformWindow*, HWND> handles_;
    PlatformWindow elsewhere_; // a window that is not the program's
    void* loopFiber_ = nullptr;
    void* scenarioFiber_ = nullptr;
    const std::function<void()>* scenario_ = nullptr;
    bool inScenario_ = false;
    bool finished_ = false;
    bool quit_ = false;
    int drags_ = 0;
    LPARAM markersPosted_ = 0, markersHandled_ = 0, drainedTo_ = 0;
    HWND lastDialog_ = nullptr;
    std::vector<FileDialogShown> dialogs_;
};

LRESULT CALLBACK markerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kMarkerMessage && running) {
        running->markersHandled_ = lParam;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

std::unique_ptr<ShellDriver> openWin32ShellDriver(std::string& whyNot) {
    // One page pixel per screen pixel, whatever dpi the prefix was left at: the
    // golden images are compared pixel for pixel.
    std::unique_ptr<Win32Platform> platform = openWin32Platform(whyNot, 1);
    if (!platform)
        return nullptr;
    WNDCLASSA markerClass{};
    markerClass.lpfnWndProc = markerProcedure;
    markerClass.hInstance = GetModuleHandleA(nullptr);
    markerClass.lpszClassName = kMarkerClass;
    RegisterClassA(&markerClass); // a second driver finds it there
    HWND markers =
        CreateWindowExA(0, kMarkerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!markers) {
        whyNot = "no message window";
        return nullptr;
    }
    return std::make_unique<Win32ShellDriver>(std::move(platform), markers);
}
