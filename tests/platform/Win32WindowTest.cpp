// Real windows and real messages (under Wine on the X server of the test run):
// what reaches the screen and the colour key, the child window's share of the
// events, timers, posted closes and presents, the registry, the second start's
// search, the display scale, the file dialog and the edit popup.
#include "../support/WindowRecorder.h"
#include "../support/win32/DropHandle.h"
#include "Win32Platform.h"
#include "Win32Settings.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kKey = 0xFF00FF;

// What the screen shows at a point, as 0xRRGGBB.
uint32_t screenPixel(int x, int y) {
    // Drawing reaches the X server when the loop next looks for messages.
    for (auto end = Clock::now() + std::chrono::milliseconds(60); Clock::now() < end;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(5);
    }
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
}

LPARAM point(int x, int y) {
    return MAKELPARAM(x, y);
}

class Win32Windows : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        platform = openWin32Platform(error, scale);
        if (!platform)
            GTEST_SKIP() << error << " (run under xvfb-run)";
        request.title = "Quorix test";
        request.className = "Quorix-Test-" + std::to_string(GetCurrentProcessId());
        request.width = 480;
        request.height = 240;
        childRequest.className = "Quorix-Test-Child";
        childRequest.width = 480;
        childRequest.height = 240;
        childRequest.oneShotTimers = true;
    }

    bool pumpUntil(const std::function<bool()>& done, int milliseconds = 3000) {
        const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
        while (!done()) {
            if (Clock::now() > end)
                return false;
            platform->pumpEvents(10);
        }
        return true;
    }
    void pumpFor(int milliseconds) {
        pumpUntil([] { return false; }, milliseconds);
    }

    // A shown window at (x, y) that has had its first paint.
    PlatformWindow* openShown(int x = 50, int y = 60) {
        PlatformWindow* window = platform->createWindow(request, &recorder);
        if (!window)
            return nullptr;
        platform->moveWindow(window, x, y);
        platform->showWindow(window, ShowCommand::Normal);
        pumpUntil([&] { return recorder.count(WindowEvent::Kind::Paint) > 0; });
        return window;
    }
    PlatformWindow* openChild(PlatformWindow* parent) {
        childRequest.parent = parent;
        return platform->createWindow(childRequest, &editor);
    }
    HWND handle(PlatformWindow* window) const { return static_cast<HWND>(platform->nativeWindow(window)); }

    int scale = 0;
    std::unique_ptr<Win32Platform> platform;
    WindowRequest request, childRequest;
    Recorder recorder, editor;
};

TEST_F(Win32Windows, PresentedPixelsAndTheColourKey) {
    PlatformWindow* window = openShown(50, 60);
    ASSERT_NE(window, nullptr);
    HWND hwnd = handle(window);
    EXPECT_EQ(DWORD(GetWindowLongA(hwnd, GWL_STYLE)) & ~DWORD(WS_VISIBLE | WS_CLIPSIBLINGS), 0x800A0000u);
    EXPECT_EQ(DWORD(GetWindowLongA(hwnd, GWL_EXSTYLE)) & 0x00080010u, 0x00080010u);
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
    EXPECT_EQ(key, COLORREF(0x00FF00FF));
    EXPECT_EQ(flags, DWORD(LWA_COLORKEY));

    Picture page(480, 240, 0x336699);
    page.fill(PixelRect{0, 0, 4, 4}, kKey);
    page.fill(PixelRect{200, 100, 210, 110}, 0xFEFEFE);
    platform->present(window, page.image(), PixelRect{0, 0, 480, 240});
    EXPECT_EQ(screenPixel(50 + 240, 60 + 120), 0x336699u);
    EXPECT_EQ(screenPixel(50 + 205, 60 + 105), 0xFEFEFEu);
    EXPECT_EQ(screenPixel(50 + 240, 60 + 239), 0x336699u) << "bottom row: rows are bottom-up";
    EXPECT_NE(screenPixel(50 + 1, 60 + 1), kKey) << "the key colour is a hole";

    // Only the presented rectangle reaches the window.
    page.fill(PixelRect{0, 0, 480, 240}, 0x00FF00);
    platform->present(window, page.image(), PixelRect{10, 10, 20, 20});
    EXPECT_EQ(screenPixel(50 + 15, 60 + 15), 0x00FF00u);
    EXPECT_EQ(screenPixel(50 + 25, 60 + 25), 0x336699u);

    // Rectangles outside the window or the image are clipped, not a crash.
    platform->present(window, page.image(), PixelRect{-100, -100, 5000, 5000});
    platform->present(window, PixelImage{}, PixelRect{0, 0, 480, 240});
    Picture small(10, 10, 0x112233);
    platform->present(window, small.image(), PixelRect{0, 0, 480, 240});
    EXPECT_EQ(screenPixel(50 + 9, 60 + 9), 0x112233u);
    EXPECT_EQ(screenPixel(50 + 300, 60 + 55), 0x00FF00u);
}

TEST_F(Win32Windows, TheChildTakesInputPaintAndPresentsTheWindowKeepsTheRest) {
    PlatformWindow* window = openShown(100, 90);
    ASSERT_NE(window, nullptr);
    PlatformWindow* child = openChild(window);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(openChild(window), nullptr) << "one child per window";
    char className[64] = {};
    GetClassNameA(handle(child), className, sizeof className);
    EXPECT_STREQ(className, "Quorix-Test-Child");
    EXPECT_EQ(GetParent(handle(child)), handle(window));
    ASSERT_TRUE(pumpUntil([&] { return editor.count(WindowEvent::Kind::Paint) > 0; })) << "the child paints";

    Picture page(480, 240, 0x224466);
    platform->present(child, page.image(), PixelRect{0, 0, 480, 240});
    EXPECT_EQ(screenPixel(100 + 240, 90 + 120), 0x224466u);

    // Input goes to the child in its own coordinates, keys given to the window too;
    // closes and drops stay the window's.
    const std::string longPath = "C:\\" + std::string(300, 'x') + ".qfu";
    recorder.events.clear();
    PostMessageA(handle(child), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, point(30, 10));
    PostMessageA(handle(child), WM_RBUTTONDBLCLK, MK_CONTROL, point(-5, 7));
    PostMessageA(handle(child), WM_KEYDOWN, VK_NUMPAD5, 0);
    PostMessageA(handle(window), WM_KEYUP, 'A', 0);
    PostMessageA(handle(window), WM_CLOSE, 0, 0);
    PostMessageA(handle(window), WM_DROPFILES, WPARAM(makeDrop({"C:\\a.qfu", longPath})), 0);
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WindowEvent::Kind::Drop) == 1; }));
    const std::vector<WindowEvent::Button> buttons = {WindowEvent::Button::LeftDown, WindowEvent::Button::RightDouble};
    std::vector<WindowEvent::Button> seen;
    for (const WindowEvent& e : editor.events)
        if (e.kind == WindowEvent::Kind::Mouse)
            seen.push_back(e.button);
    EXPECT_EQ(seen, buttons);
    const WindowEvent* press = nullptr;
    for (const WindowEvent& e : editor.events)
        if (e.kind == WindowEvent::Kind::Mouse && !press)
            press = &e;
    ASSERT_NE(press, nullptr);
    EXPECT_EQ(std::pair(press->x, press->y), std::pair(30, 10));
    EXPECT_TRUE(press->shift);
    EXPECT_FALSE(press->control);
    EXPECT_EQ(editor.last(WindowEvent::Kind::Mouse)->x, -5) << "signed coordinates";
    EXPECT_TRUE(editor.last(WindowEvent::Kind::Mouse)->control);
    EXPECT_EQ(editor.count(WindowEvent::Kind::Key), 2);
    EXPECT_EQ(editor.last(WindowEvent::Kind::Key)->keyCode, uint32_t('A'));
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Mouse) + recorder.count(WindowEvent::Kind::Key), 0);
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Close), 1);
    EXPECT_EQ(editor.count(WindowEvent::Kind::Close) + editor.count(WindowEvent::Kind::Drop), 0);
    EXPECT_TRUE(IsWindow(handle(window))) << "a close is the program's to act on";
    EXPECT_EQ(recorder.last(WindowEvent::Kind::Drop)->paths, (std::vector<std::string>{"C:\\a.qfu", longPath}));

    // The wheel over the child reaches it through the hook, in client coordinates.
    SetForegroundWindow(handle(window));
    SetCursorPos(100 + 40, 90 + 50);
    INPUT wheel{};
    wheel.type = INPUT_MOUSE;
    wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
    wheel.mi.mouseData = DWORD(-WHEEL_DELTA);
    SendInput(1, &wheel, sizeof wheel);
    ASSERT_TRUE(pumpUntil([&] {
        const WindowEvent* e = editor.last(WindowEvent::Kind::Mouse);
        return e && e->button == WindowEvent::Button::Wheel;
    }));
    const WindowEvent* turned = editor.last(WindowEvent::Kind::Mouse);
    EXPECT_EQ(turned->wheelDelta, -120);
    EXPECT_EQ(std::pair(turned->x, turned->y), std::pair(40, 50));

    // The window takes its child with it: the child's timers stop, its events end.
    platform->startTimer(child, 4100, 10);
    ASSERT_TRUE(pumpUntil([&] { return editor.count(WindowEvent::Kind::Timer, 4100) > 0; }));
    const HWND childHandle = handle(child);
    platform->destroyWindow(window);
    EXPECT_FALSE(IsWindow(childHandle));
    const size_t heard = editor.events.size();
    pumpFor(50);
    EXPECT_EQ(editor.events.size(), heard);
    EXPECT_EQ(platform->nativeWindow(child), nullptr);
}

TEST_F(Win32Windows, TimersOnceOnTheChildRepeatingElsewhere) {
    PlatformWindow* window = platform->createWindow(request, &recorder);
    ASSERT_NE(window, nullptr);
    PlatformWindow* child = openChild(window);
    ASSERT_NE(child, nullptr);
    platform->startTimer(child, 7, 20);     // below 4097 on the editor's window: once
    platform->startTimer(window, 7, 20);    // repeats on the main window
    platform->startTimer(child, 4097, 15);  // repeats
    ASSERT_TRUE(pumpUntil([&] { return editor.count(WindowEvent::Kind::Timer, 4097) >= 4; }));
    EXPECT_EQ(editor.count(WindowEvent::Kind::Timer, 7), 1);
    EXPECT_GE(recorder.count(WindowEvent::Kind::Timer, 7), 2);
    platform->stopTimer(child, 4097);
    platform->stopTimer(window, 7);
    const int ticks = editor.count(WindowEvent::Kind::Timer, 4097);
    pumpFor(60);
    EXPECT_EQ(editor.count(WindowEvent::Kind::Timer, 4097), ticks) << "stopped";

    // A one-shot timer its own handler starts again fires again.
    int hovers = 0;
    editor.also = [&](PlatformWindow* w, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Timer && e.timerId == 256 && ++hovers < 3)
            platform->startTimer(w, 256, 15);
    };
    platform->startTimer(child, 256, 15);
    pumpFor(200);
    EXPECT_EQ(hovers, 3);

    // Stale pointers are ignored.
    platform->destroyWindow(window);
    platform->startTimer(child, 4099, 5);
    platform->startTimer(window, 4099, 5);
    const size_t heard = editor.events.size() + recorder.events.size();
    pumpFor(40);
    EXPECT_EQ(editor.events.size() + recorder.events.size(), heard);
}

TEST_F(Win32Windows, ClosesQuitsAndPresentsArePostedToTheLoop) {
    PlatformWindow* window = platform->createWindow(request, &recorder);
    ASSERT_NE(window, nullptr);
    recorder.also = [&](PlatformWindow* w, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Timer && e.timerId == 1) {
            platform->stopTimer(w, 1);
            platform->postClose(w);
            EXPECT_EQ(recorder.count(WindowEvent::Kind::Close), 0) << "not from inside the call";
        } else if (e.kind == WindowEvent::Kind::Close || e.kind == WindowEvent::Kind::Timer) {
            platform->postQuit();
        }
    };
    platform->startTimer(window, 1, 10);
    platform->startTimer(window, 2, 5000); // ends a loop that hangs
    platform->runEventLoop();
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Close), 1);
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Timer, 2), 0);

    // From another thread: a close, then many presents that merge, then the quit.
    recorder.also = nullptr;
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        platform->postClose(window);
        for (int i = 0; i < 200; ++i)
            platform->requestPresent(window);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform->requestPresent(window);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform->postQuit();
    });
    const auto start = Clock::now();
    platform->runEventLoop();
    other.join();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Close), 2);
    const int presents = recorder.count(WindowEvent::Kind::PresentRequest);
    EXPECT_GE(presents, 2) << "a request after the last delivery posts again";
    EXPECT_LE(presents, 10) << "requests waiting are merged";
}

TEST_F(Win32Windows, ASecondStartFindsTheFirstByItsExactClassName) {
    PlatformWindow* window = openShown();
    ASSERT_NE(window, nullptr);
    ShowWindow(handle(window), SW_MINIMIZE);
    EXPECT_FALSE(platform->activateRunningInstance(request.className + "-other"));
    EXPECT_FALSE(platform->activateRunningInstance(request.className.substr(0, 8)));
    EXPECT_FALSE(platform->activateRunningInstance(""));
    ASSERT_TRUE(IsIconic(handle(window)));
    EXPECT_TRUE(platform->activateRunningInstance(request.className));
    EXPECT_FALSE(IsIconic(handle(window))) << "restored";
}

TEST_F(Win32Windows, GeometryCursorsAndTheShowCommand) {
    PlatformWindow* window = openShown(120, 77);
    ASSERT_NE(window, nullptr);
    int x = 0, y = 0, width = 0, height = 0;
    platform->windowPosition(window, x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(120, 77));
    platform->windowSize(window, width, height);
    EXPECT_EQ(std::pair(width, height), std::pair(480, 240));
    int cx = 10, cy = 20;
    platform->clientToScreen(window, cx, cy);
    EXPECT_EQ(std::pair(cx, cy), std::pair(130, 97));
    platform->screenSize(width, height);
    EXPECT_EQ(std::pair(width, height), std::pair(1280, 1024));
    platform->workArea(width, height);
    EXPECT_GT(width, 0);

    for (int kind : {0, 304, 305, 306})
        EXPECT_TRUE(platform->setCursorKind(kind)) << kind;
    EXPECT_FALSE(platform->setCursorKind(300)) << "the program has no cursors of its own";

    // Minimised, its place is still the one it has when restored (what is kept for
    // the next start), not the system's parking place.
    ShowWindow(handle(window), SW_MINIMIZE);
    ASSERT_TRUE(pumpUntil([&] { return IsIconic(handle(window)) != FALSE; }));
    platform->windowPosition(window, x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(120, 77));
    ShowWindow(handle(window), SW_RESTORE);
    pumpUntil([&] { return !IsIconic(handle(window)); });

    EXPECT_EQ(showCommandFromWindows(SW_SHOWMINNOACTIVE), ShowCommand::Minimised);
    // The window has one size: a maximised start shows it as it is.
    platform->showWindow(window, ShowCommand::Maximised);
    platform->windowSize(window, width, height);
    EXPECT_EQ(std::pair(width, height), std::pair(480, 240));
}

class Win32DoubleScale : public Win32Windows {
protected:
    void SetUp() override {
        scale = 2;
        Win32Windows::SetUp();
    }
};

TEST_F(Win32DoubleScale, EachPagePixelIsTwoByTwoAndTheMouseComesBackInPagePixels) {
    PlatformWindow* window = openShown(40, 30);
    ASSERT_NE(window, nullptr);
    PlatformWindow* child = openChild(window);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(platform->displayScale(child), 2);
    int width = 0, height = 0;
    platform->windowSize(window, width, height);
    EXPECT_EQ(std::pair(width, height), std::pair(960, 480));
    platform->windowSize(child, width, height);
    EXPECT_EQ(std::pair(width, height), std::pair(960, 480));

    Picture page(480, 240, 0x336699);
    page.fill(PixelRect{100, 50, 101, 51}, 0xFEFEFE);
    platform->present(child, page.image(), PixelRect{0, 0, 480, 240});
    for (auto [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}})
        EXPECT_EQ(screenPixel(40 + 200 + dx, 30 + 100 + dy), 0xFEFEFEu) << dx << "," << dy;
    EXPECT_EQ(screenPixel(40 + 202, 30 + 100), 0x336699u);
    EXPECT_EQ(screenPixel(40 + 959, 30 + 479), 0x336699u);

    PostMessageA(handle(child), WM_LBUTTONDOWN, MK_LBUTTON, point(201, 101));
    const WindowEvent* press = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        for (const WindowEvent& e : editor.events)
            if (e.kind == WindowEvent::Kind::Mouse && e.button == WindowEvent::Button::LeftDown)
                press = &e;
        return press != nullptr;
    }));
    EXPECT_EQ(std::pair(press->x, press->y), std::pair(100, 50));
    int cx = 10, cy = 20;
    platform->clientToScreen(child, cx, cy);
    EXPECT_EQ(std::pair(cx, cy), std::pair(40 + 20, 30 + 40));

    // A paint of part of the window asks for every page pixel it touches.
    editor.events.clear();
    const RECT part{21, 11, 40, 31};
    InvalidateRect(handle(child), &part, FALSE);
    ASSERT_TRUE(pumpUntil([&] { return editor.count(WindowEvent::Kind::Paint) > 0; }));
    const PixelRect& asked = editor.last(WindowEvent::Kind::Paint)->paint;
    EXPECT_EQ(std::vector<int>({asked.left, asked.top, asked.right, asked.bottom}), std::vector<int>({10, 5, 20, 16}));
}

TEST(Win32Settings, ValuesRoundTripAndOnlyADwordIsRead) {
    const std::string name = "Test_" + std::to_string(GetCurrentProcessId());
    uint32_t value = 7;
    EXPECT_FALSE(ReadRegistryDword(name.c_str(), value)) << "missing";
    EXPECT_EQ(value, 7u);
    ASSERT_TRUE(WriteRegistryDword(name.c_str(), 0xFFF6000Au));
    EXPECT_TRUE(ReadRegistryDword(name.c_str(), value));
    EXPECT_EQ(value, 0xFFF6000Au);
    Win32Settings settings;
    EXPECT_TRUE(settings.writeDword(name, 42));
    EXPECT_TRUE(settings.readDword(name, value));
    EXPECT_EQ(value, 42u);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const BYTE four[4] = {1, 2, 3, 4};
    struct Case {
        DWORD type;
        DWORD size;
    } others[] = {{REG_SZ, 4}, {REG_BINARY, 4}, {REG_DWORD, 2}, {REG_QWORD, 4}};
    for (const Case& c : others) {
        ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, c.type, four, c.size), ERROR_SUCCESS);
        value = 9;
        EXPECT_FALSE(ReadRegistryDword(name.c_str(), value)) << "type " << c.type << ", " << c.size << " bytes";
        EXPECT_EQ(value, 9u);
    }
    // Typed values for preferences: texts without their terminator, binaries whole,
    // a dword reported as such so that a text preference can refuse it.
    using Kind = SettingsStore::Kind;
    Kind kind{};
    std::string bytes;
    ASSERT_TRUE(settings.writeText(name, "12abc"));
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_GE(size, 5u); // the system may add the terminator
    ASSERT_TRUE(settings.readValue(name, kind, bytes, 3));
    EXPECT_EQ(kind, Kind::Text);
    EXPECT_EQ(bytes, "12a") << "cut to the limit";
    ASSERT_TRUE(settings.writeBinary(name, std::string("\0\xFF\0", 3)));
    ASSERT_TRUE(settings.readValue(name, kind, bytes, 100));
    EXPECT_EQ(kind, Kind::Binary);
    EXPECT_EQ(bytes, std::string("\0\xFF\0", 3));
    EXPECT_FALSE(settings.writeText(name, std::string(5000, 'x')));
    // Longer than any store holds, written by someone else: refused, never cut.
    const std::string big(5000, 'x');
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(big.data()),
                             DWORD(big.size())),
              ERROR_SUCCESS);
    EXPECT_FALSE(settings.readValue(name, kind, bytes, 100));
    ASSERT_TRUE(settings.writeDword(name, 5));
    ASSERT_TRUE(settings.readValue(name, kind, bytes, 100));
    EXPECT_EQ(kind, Kind::Dword);
    RegDeleteValueA(key, name.c_str());
    EXPECT_FALSE(settings.readValue(name, kind, bytes, 100));
    RegCloseKey(key);
}

// The file dialog, driven from the loop while it is open.
class Win32FileDialog : public Win32Windows {
protected:
    void SetUp() override {
        Win32Windows::SetUp();
        if (IsSkipped())
            return;
        folder = std::filesystem::temp_directory_path() / ("quorix-dialog-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "new firmware.qfu") << "x";
        dialog.initialDirectory = folder.string();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    // The dialog of this thread, once it is up.
    static HWND findDialog() {
        HWND found = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM out) -> BOOL {
                char name[16] = {};
                GetClassNameA(window, name, sizeof name);
                if (std::strcmp(name, "#32770") != 0 || !IsWindowVisible(window))
                    return TRUE;
                *reinterpret_cast<HWND*>(out) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static HWND nameBox(HWND dialog) {
        HWND box = GetDlgItem(dialog, 1152);
        return box ? box : GetDlgItem(dialog, 1148);
    }
    std::vector<WindowEvent> chosen() const {
        std::vector<WindowEvent> result;
        for (const WindowEvent& e : editor.events)
            if (e.kind == WindowEvent::Kind::FileChosen)
                result.push_back(e);
        return result;
    }

    std::filesystem::path folder;
    FileDialogRequest dialog{"Open update file", {{"qfu (*.qfu)", "*.qfu"}, {"Images (*.bin)", "*.bin"}}, "qfu", "", ""};
};

TEST_F(Win32FileDialog, TheLoopRunsWhileItIsOpenAndItsAnswerArrivesOnce) {
    PlatformWindow* window = openShown(10, 10);
    ASSERT_NE(window, nullptr);
    PlatformWindow* child = openChild(window);
    ASSERT_NE(child, nullptr);
    int ticks = 0;
    std::string typedName, renamed;
    RECT placed{};
    editor.also = [&](PlatformWindow*, const WindowEvent& e) {
        if (e.kind != WindowEvent::Kind::Timer)
            return;
        ++ticks;
        HWND open = findDialog();
        if (!open || !typedName.empty())
            return;
        GetWindowRect(open, &placed);
        // A change of type gives the name the new type's extension.
        SetWindowTextA(nameBox(open), "firmware.qfu");
        HWND types = GetDlgItem(open, 1136); // cmb1
        SendMessageA(types, CB_SETCURSEL, 1, 0);
        SendMessageA(open, WM_COMMAND, MAKEWPARAM(1136, CBN_SELCHANGE), LPARAM(types));
        SendMessageA(open, WM_COMMAND, MAKEWPARAM(1136, CBN_SELENDOK), LPARAM(types)); // what Wine listens to
        char name[260] = {};
        GetWindowTextA(nameBox(open), name, sizeof name);
        renamed = name;
        typedName = (folder / "new firmware.qfu").string();
        SetWindowTextA(nameBox(open), typedName.c_str());
        PostMessageA(open, WM_COMMAND, IDOK, 0);
    };
    platform->startTimer(child, 4100, 30);
    const auto start = Clock::now();
    ASSERT_TRUE(platform->beginOpenFileDialog(child, dialog));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100)) << "returns at once";
    EXPECT_FALSE(platform->beginOpenFileDialog(child, dialog)) << "one at a time";
    ASSERT_TRUE(pumpUntil([&] { return !chosen().empty(); }, 10000));
    EXPECT_GE(ticks, 1) << "timers fire meanwhile";
    EXPECT_EQ(renamed, "firmware.bin");
    const int width = placed.right - placed.left, height = placed.bottom - placed.top;
    EXPECT_EQ(std::pair(int(placed.left), int(placed.top)), std::pair(640 - width / 2, 512 - height / 2))
        << "centred on the screen";
    ASSERT_EQ(chosen().front().paths.size(), 1u);
    EXPECT_TRUE(std::filesystem::equivalent(chosen().front().paths[0], folder / "new firmware.qfu"));
    pumpFor(100);
    EXPECT_EQ(chosen().size(), 1u) << "one answer";

    // Cancelled: an answer without a path, and the next one may open.
    editor.also = [&](PlatformWindow*, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Timer)
            if (HWND open = findDialog())
                PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
    };
    ASSERT_TRUE(platform->beginOpenFileDialog(child, dialog));
    ASSERT_TRUE(pumpUntil([&] { return chosen().size() == 2; }, 10000));
    EXPECT_TRUE(chosen().back().paths.empty());

    // Destroying the owner ends it unanswered.
    editor.also = [&](PlatformWindow*, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Timer && findDialog())
            platform->destroyWindow(window);
    };
    ASSERT_TRUE(platform->beginOpenFileDialog(child, dialog));
    ASSERT_TRUE(pumpUntil([&] { return platform->nativeWindow(window) == nullptr; }, 10000));
    pumpFor(100);
    EXPECT_EQ(findDialog(), nullptr);
    EXPECT_EQ(chosen().size(), 2u);
    EXPECT_FALSE(platform->beginOpenFileDialog(child, dialog)) << "no live owner";
}

TEST_F(Win32Windows, TheEditPopupCommitsAbandonsAndEndsWithTheFocus) {
    PlatformWindow* window = openShown(60, 70);
    ASSERT_NE(window, nullptr);
    PlatformWindow* child = openChild(window);
    ASSERT_NE(child, nullptr);
    EditPopupRequest field;
    field.rect = PixelRect{20, 30, 120, 46};
    field.text = "abcdef";
    field.maxLength = 4;
    auto open = [&]() -> HWND {
        return platform->openEditPopup(child, field) ? static_cast<HWND>(platform->editPopupWindow(child)) : nullptr;
    };

    struct Case {
        const char* name;
        std::function<void(HWND)> act;
        WindowEvent::EditEnding ending;
        const char* text;
    } cases[] = {
        {"enter", [](HWND edit) { PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0); }, WindowEvent::EditEnding::Commit,
         "abcd"},
        {"escape",
         [](HWND edit) {
             SetWindowTextA(edit, "xy");
             PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
         },
         WindowEvent::EditEnding::Abandon, "xy"},
        {"focus", [&](HWND) { SetFocus(handle(child)); }, WindowEvent::EditEnding::FocusLost, "abcd"},
    };
    for (const Case& c : cases) {
        editor.events.clear();
        HWND edit = open();
        ASSERT_NE(edit, nullptr) << c.name;
        EXPECT_EQ(GetFocus(), edit) << c.name;
        RECT placed{};
        GetWindowRect(edit, &placed);
        EXPECT_EQ(std::pair(int(placed.left), int(placed.top)), std::pair(60 + 20, 70 + 30)) << c.name;
        DWORD from = 9, to = 9;
        SendMessageA(edit, EM_GETSEL, WPARAM(&from), LPARAM(&to));
        EXPECT_EQ(std::pair(from, to), std::pair(DWORD(0), DWORD(4))) << c.name << ": all selected, cut to the limit";
        c.act(edit);
        ASSERT_TRUE(pumpUntil([&] { return editor.count(WindowEvent::Kind::EditEnded) > 0; })) << c.name;
        pumpFor(30);
        EXPECT_EQ(editor.count(WindowEvent::Kind::EditEnded), 1) << c.name << ": one ending";
        EXPECT_EQ(editor.last(WindowEvent::Kind::EditEnded)->editEnding, c.ending) << c.name;
        EXPECT_EQ(editor.last(WindowEvent::Kind::EditEnded)->text, c.text) << c.name;
        EXPECT_FALSE(IsWindow(edit)) << c.name;
        EXPECT_FALSE(platform->editPopupOpen(child)) << c.name;
    }

    // Ended by the program, or by a second popup: no event; a password hides its text.
    editor.events.clear();
    field.password = true;
    HWND first = open();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(GetWindowLongA(first, GWL_STYLE) & ES_PASSWORD);
    HWND second = open();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(platform->closeEditPopup(child), std::optional<std::string>("abcd"));
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(platform->closeEditPopup(child), std::nullopt);
    pumpFor(30);
    EXPECT_EQ(editor.count(WindowEvent::Kind::EditEnded), 0);
}

} // namespace
