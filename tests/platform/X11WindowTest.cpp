// Real windows on the X server of the test run (xvfb-run gives each run its own):
// what reaches the screen, the shape the colour key cuts, timers, closing, input,
// the file dialog beside the loop, the edit popup.
#include "../support/NoInstalledKeys.h"
#include "../support/TempDir.h"
#include "../support/WindowRecorder.h"

#include "CCLineRenderer.h"
#include "ProgramRunner.h"
#include "X11DropSource.h"
#include "X11Platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <tuple>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kKey = 0xFF00FF;

bool covers(const std::vector<PixelRect>& rects, int x, int y) {
    for (const PixelRect& r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return true;
    return false;
}

// The X server resets when its last client leaves, and refuses connections while it
// does: one connection held for the whole run keeps each test's own from racing that.
class HoldDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        std::string error;
        held = openX11Platform(error);
    }
    void TearDown() override { held.reset(); }
    std::unique_ptr<X11Platform> held;
};
const auto* const holdDisplay = ::testing::AddGlobalTestEnvironment(new HoldDisplay);

class X11Windows : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        platform = openX11Platform(error);
        if (!platform)
            GTEST_SKIP() << error << " (run under xvfb-run)";
        request.title = "Quorix test";
        request.className = "Quorix-Test-" + std::to_string(::getpid());
        request.width = 480;
        request.height = 240;
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

    std::unique_ptr<X11Platform> platform;
    WindowRequest request;
    Recorder recorder;
};

TEST_F(X11Windows, NoDisplayIsAClearError) {
    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    std::string error;
    ::unsetenv("DISPLAY");
    EXPECT_EQ(openX11Platform(error), nullptr);
    EXPECT_NE(error.find("DISPLAY"), std::string::npos);
    ::setenv("DISPLAY", ":4711", 1);
    EXPECT_EQ(openX11Platform(error), nullptr);
    EXPECT_NE(error.find(":4711"), std::string::npos);
    ::setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(X11Windows, PresentedPixelsAndTheKeyedShape) {
    PlatformWindow* window = openShown();
    ASSERT_NE(window, nullptr);
    ASSERT_GT(recorder.count(WindowEvent::Kind::Paint), 0) << "first expose becomes a paint";

    Picture page(480, 240, 0x336699);
    page.fill(PixelRect{0, 0, 4, 4}, kKey);
    page.fill(PixelRect{476, 0, 480, 4}, kKey);
    page.fill(PixelRect{0, 236, 4, 240}, kKey);
    page.fill(PixelRect{476, 236, 480, 240}, kKey);
    page.fill(PixelRect{200, 100, 210, 110}, 0xFEFEFE);
    platform->present(window, page.image(), PixelRect{0, 0, 480, 240});

    std::vector<uint32_t> shown;
    ASSERT_TRUE(platform->readWindowPixels(window, shown));
    EXPECT_EQ(shown[size_t(120) * 480 + 240], 0x336699u);
    EXPECT_EQ(shown[size_t(105) * 480 + 205], 0xFEFEFEu);
    EXPECT_EQ(shown[size_t(4) * 480 + 4], 0x336699u);
    EXPECT_EQ(shown[size_t(239) * 480 + 240], 0x336699u) << "bottom row: rows are bottom-up";

    for (bool input : {false, true}) {
        const std::vector<PixelRect> shape = platform->windowShape(window, input);
        for (auto [x, y] : {std::pair{0, 0}, {3, 3}, {479, 0}, {476, 3}, {0, 239}, {479, 239}})
            EXPECT_FALSE(covers(shape, x, y)) << "hole at " << x << "," << y << (input ? " (input)" : "");
        for (auto [x, y] : {std::pair{4, 0}, {0, 4}, {240, 120}, {475, 239}, {479, 4}})
            EXPECT_TRUE(covers(shape, x, y)) << "solid at " << x << "," << y << (input ? " (input)" : "");
    }

    // The same key pixels again: no new shape. A changed corner: one.
    const int shapes = platform->shapeUpdates(window);
    EXPECT_EQ(shapes, 1);
    platform->present(window, page.image(), PixelRect{0, 0, 480, 240});
    EXPECT_EQ(platform->shapeUpdates(window), shapes);
    page.fill(PixelRect{0, 0, 4, 4}, 0x112233);
    page.fill(PixelRect{300, 50, 310, 60}, 0x00FF00);
    platform->present(window, page.image(), PixelRect{0, 0, 100, 100}); // the corner only
    EXPECT_EQ(platform->shapeUpdates(window), shapes + 1);
    EXPECT_TRUE(covers(platform->windowShape(window, false), 0, 0));

    // Only the presented rectangle reaches the window.
    ASSERT_TRUE(platform->readWindowPixels(window, shown));
    EXPECT_EQ(shown[0], 0x112233u);
    EXPECT_EQ(shown[size_t(55) * 480 + 305], 0x336699u);

    // Rectangles reaching outside the window or image are clipped, not a crash.
    platform->present(window, page.image(), PixelRect{-100, -100, 5000, 5000});
    platform->present(window, PixelImage{}, PixelRect{0, 0, 480, 240});
    Picture small(10, 10, 0x00FF00);
    platform->present(window, small.image(), PixelRect{0, 0, 480, 240});
    ASSERT_TRUE(platform->readWindowPixels(window, shown));
    EXPECT_EQ(shown[size_t(9) * 480 + 9], 0x00FF00u);
    EXPECT_EQ(shown[size_t(55) * 480 + 305], 0x00FF00u) << "the full present before";
}

TEST_F(X11Windows, AChildWindowTakesInputPaintAndPresentsTheParentKeepsTheRest) {
    PlatformWindow* window = openShown(100, 90);
    ASSERT_NE(window, nullptr);
    Recorder editor;
    WindowRequest childRequest;
    childRequest.width = 480, childRequest.height = 240;
    childRequest.parent = window;
    PlatformWindow* child = platform->createWindow(childRequest, &editor);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(platform->createWindow(childRequest, &editor), nullptr) << "one child per window";

    // What the child presents is the window's pixels and shape.
    Picture page(480, 240, 0x224466);
    page.fill(PixelRect{0, 0, 4, 4}, kKey);
    platform->present(child, page.image(), PixelRect{0, 0, 480, 240});
    std::vector<uint32_t> shown;
    ASSERT_TRUE(platform->readWindowPixels(window, shown));
    EXPECT_EQ(shown[size_t(120) * 480 + 240], 0x224466u);
    EXPECT_FALSE(covers(platform->windowShape(window, false), 1, 1));

    // The pointer over the window reaches the child, in the child's coordinates;
    // a close reaches the window.
    platform->setCursorPosition(130, 100);
    ASSERT_TRUE(pumpUntil([&] { return editor.mouseAt(30, 10); }));
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Mouse), 0);
    platform->postClose(window);
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WindowEvent::Kind::Close) == 1; }));
    EXPECT_EQ(editor.count(WindowEvent::Kind::Close), 0);

    // The window takes its child with it: the child's timers stop.
    platform->startTimer(child, 4100, 10);
    ASSERT_TRUE(pumpUntil([&] { return editor.count(WindowEvent::Kind::Timer, 4100) > 0; }));
    platform->destroyWindow(window);
    const int ticks = editor.count(WindowEvent::Kind::Timer, 4100);
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(editor.count(WindowEvent::Kind::Timer, 4100), ticks);
}

TEST_F(X11Windows, HighDpiScreensShowEachPixelAsAWholeBlock) {
    // The desktop's scale comes from GDK_SCALE, else from Xft.dpi in the server's resources.
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Atom resources = XInternAtom(display, "RESOURCE_MANAGER", False);
    auto setResources = [&](const std::string& text) {
        XChangeProperty(display, DefaultRootWindow(display), resources, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
        XSync(display, False);
    };
    std::string error;
    for (auto [dpi, gdkScale, scale] : {std::tuple{"144", "", 1}, {"192.0", "", 2}, {"96", "2", 2}, {"288", "1", 1}}) {
        setResources(std::string("Xft.antialias:\t1\nXft.dpi:\t") + dpi + "\n");
        if (*gdkScale)
            ::setenv("GDK_SCALE", gdkScale, 1);
        EXPECT_EQ(openX11Platform(error)->displayScale(), scale) << dpi << " " << gdkScale;
        ::unsetenv("GDK_SCALE");
    }
    setResources("Xft.dpi:\t192\n");
    platform = openX11Platform(error);
    XDeleteProperty(display, DefaultRootWindow(display), resources);
    XCloseDisplay(display);
    ASSERT_EQ(platform->displayScale(), 2);

    PlatformWindow* window = openShown(100, 90);
    ASSERT_NE(window, nullptr);
    int width = 0, height = 0;
    platform->windowSize(window, width, height);
    EXPECT_EQ(std::pair(width, height), std::pair(960, 480));
    Picture page(480, 240, 0x336699);
    page.fill(PixelRect{0, 0, 4, 4}, kKey);
    page.fill(PixelRect{200, 100, 201, 101}, 0xFEFEFE);
    platform->present(window, page.image(), PixelRect{0, 0, 480, 240});
    std::vector<uint32_t> shown;
    ASSERT_TRUE(platform->readWindowPixels(window, shown));
    ASSERT_EQ(shown.size(), size_t(960 * 480));
    for (auto [x, y, rgb] : {std::tuple{400, 200, 0xFEFEFEu}, {401, 201, 0xFEFEFEu}, {402, 200, 0x336699u},
                             {399, 201, 0x336699u}, {959, 479, 0x336699u}})
        EXPECT_EQ(shown[size_t(y) * 960 + size_t(x)], rgb) << x << "," << y;
    const std::vector<PixelRect> shape = platform->windowShape(window, true);
    EXPECT_FALSE(covers(shape, 7, 7));
    EXPECT_TRUE(covers(shape, 8, 0));
    // The pointer at screen pixel (61, 21) of the window is page pixel (30, 10).
    platform->setCursorPosition(161, 111);
    ASSERT_TRUE(pumpUntil([&] { return recorder.mouseAt(30, 10); }));
    int cx = 30, cy = 10;
    platform->clientToScreen(window, cx, cy);
    EXPECT_EQ(std::pair(cx, cy), std::pair(160, 110));
}

TEST_F(X11Windows, GeometryAndPointer) {
    PlatformWindow* window = openShown(120, 77);
    ASSERT_NE(window, nullptr);
    int x = 0, y = 0;
    platform->windowPosition(window, x, y);
    EXPECT_EQ(x, 120);
    EXPECT_EQ(y, 77);
    platform->moveWindow(window, 140, 90);
    platform->windowPosition(window, x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(140, 90));
    int cx = 10, cy = 20;
    platform->clientToScreen(window, cx, cy);
    EXPECT_EQ(std::pair(cx, cy), std::pair(150, 110));
    int width = 0, height = 0, workWidth = 0, workHeight = 0;
    platform->windowSize(window, width, height);
    EXPECT_EQ(std::pair(width, height), std::pair(480, 240));
    platform->screenSize(width, height);
    platform->workArea(workWidth, workHeight);
    EXPECT_GT(width, 0);
    EXPECT_EQ(std::pair(workWidth, workHeight), std::pair(width, height)) << "no window manager: the screen";

    EXPECT_TRUE(platform->setCursorKind(306));
    EXPECT_FALSE(platform->setCursorKind(1234));
    platform->showCursor(false);
    platform->showCursor(true);

    // The pointer moved onto the window arrives as a move in client coordinates.
    platform->setCursorPosition(170, 130);
    ASSERT_TRUE(pumpUntil([&] {
        for (const WindowEvent& e : recorder.events)
            if (e.kind == WindowEvent::Kind::Mouse && e.button == WindowEvent::Button::Move && e.x == 30 &&
                e.y == 40 && e.screenX == 170 && e.screenY == 130)
                return true;
        return false;
    }));
}

TEST_F(X11Windows, TimersOnceRepeatingAndRestarted) {
    request.oneShotTimers = true; // as the editor's window
    PlatformWindow* window = platform->createWindow(request, &recorder);
    ASSERT_NE(window, nullptr);
    request.oneShotTimers = false;
    Recorder plain;
    PlatformWindow* other = platform->createWindow(request, &plain);
    platform->startTimer(window, 7, 20);    // below 4097: once
    platform->startTimer(other, 7, 20);     // repeats on a window without the rule
    platform->startTimer(window, 4097, 15); // repeats
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WindowEvent::Kind::Timer, 4097) >= 4; }));
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Timer, 7), 1);
    EXPECT_GE(plain.count(WindowEvent::Kind::Timer, 7), 2);
    platform->destroyWindow(other);
    platform->stopTimer(window, 4097);
    const int ticks = recorder.count(WindowEvent::Kind::Timer, 4097);
    pumpUntil([] { return false; }, 60);
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Timer, 4097), ticks) << "stopped";
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Timer, 7), 1);

    // Starting a running timer starts its interval again.
    Clock::time_point fired{};
    recorder.also = [&](PlatformWindow*, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Timer && e.timerId == 9)
            fired = Clock::now();
    };
    platform->startTimer(window, 9, 120);
    pumpUntil([] { return false; }, 60);
    const auto restarted = Clock::now();
    platform->startTimer(window, 9, 120);
    ASSERT_TRUE(pumpUntil([&] { return fired != Clock::time_point{}; }));
    EXPECT_GE(fired - restarted, std::chrono::milliseconds(119));

    // A destroyed window hears nothing more.
    platform->startTimer(window, 4098, 5);
    platform->postClose(window);
    const size_t heard = recorder.events.size();
    platform->destroyWindow(window);
    pumpUntil([] { return false; }, 40);
    EXPECT_EQ(recorder.events.size(), heard);
    platform->startTimer(window, 4099, 5); // a stale pointer is ignored
    pumpUntil([] { return false; }, 20);
    EXPECT_EQ(recorder.events.size(), heard);
}

TEST_F(X11Windows, CloseAndQuitArePostedToTheLoop) {
    request.oneShotTimers = true;
    PlatformWindow* window = platform->createWindow(request, &recorder);
    ASSERT_NE(window, nullptr);
    constexpr uint32_t kGiveUp = 2;
    recorder.also = [&](PlatformWindow* w, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Timer && e.timerId == 1) {
            platform->postClose(w);
            EXPECT_EQ(recorder.count(WindowEvent::Kind::Close), 0) << "not from inside the call";
        } else if (e.kind == WindowEvent::Kind::Close || e.kind == WindowEvent::Kind::Timer) {
            platform->postQuit();
        }
    };
    platform->startTimer(window, 1, 10);
    platform->startTimer(window, kGiveUp, 5000); // ends a loop that hangs
    platform->runEventLoop();
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Close), 1);
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Timer, kGiveUp), 0);

    // From another thread too; the loop wakes without any X traffic.
    recorder.also = [&](PlatformWindow*, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Close || e.kind == WindowEvent::Kind::Timer)
            platform->postQuit();
    };
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        platform->postClose(window);
    });
    const auto start = Clock::now();
    platform->runEventLoop();
    other.join();
    EXPECT_EQ(recorder.count(WindowEvent::Kind::Close), 2);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900)) << "woken, not waiting out a turn";
}

TEST_F(X11Windows, SecondStartFindsTheFirstByClass) {
    PlatformWindow* window = platform->createWindow(request, &recorder);
    ASSERT_NE(window, nullptr);
    std::string error;
    std::unique_ptr<X11Platform> second = openX11Platform(error);
    ASSERT_NE(second, nullptr) << error;
    EXPECT_FALSE(second->activateRunningInstance(request.className + "-other"));
    EXPECT_FALSE(second->activateRunningInstance(request.className.substr(0, 8)));
    EXPECT_TRUE(second->activateRunningInstance(request.className));
    // It was never shown; activation maps it.
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WindowEvent::Kind::Paint) > 0; }));
}

TEST_F(X11Windows, FilesDroppedFromAnotherProgram) {
    PlatformWindow* window = openShown(50, 60);
    ASSERT_NE(window, nullptr);
    struct Case {
        const char* name;
        std::vector<std::string> types;
        std::string data;
        bool accepted;
        std::vector<std::string> paths; // none: no drop event, the source told it failed
    };
    const std::string bulky = "file:///" + std::string(70 * 1024, 'x') + "\r\n";
    const std::vector<Case> cases = {
        {"files", {"text/uri-list"}, "file:///tmp/a%20b.qfu\r\n# note\r\nfile:///c.qfu\r\n", true,
         {"/tmp/a b.qfu", "/c.qfu"}},
        {"type list", {"text/plain", "UTF8_STRING", "STRING", "TEXT", "text/uri-list"}, "file:///d\r\n", true,
         {"/d"}},
        {"text only", {"text/plain"}, "file:///e\r\n", false, {}},
        {"remote only", {"text/uri-list"}, "sftp://host/f\r\n", true, {}},
        {"too large", {"text/uri-list"}, bulky, true, {}},
    };
    for (const Case& c : cases) {
        recorder.events.clear();
        std::unique_ptr<X11DropSource> source = X11DropSource::open();
        ASSERT_NE(source, nullptr);
        source->enter(platform->nativeWindow(window), c.types, c.data, 70, 90);
        auto pumpBoth = [&](const std::function<bool()>& done) {
            return pumpUntil([&] {
                source->step();
                return done();
            });
        };
        ASSERT_TRUE(pumpBoth([&] { return source->statusSeen; })) << c.name;
        EXPECT_EQ(source->accepted, c.accepted) << c.name;
        EXPECT_EQ(source->actionCopy, c.accepted) << c.name;
        source->drop();
        ASSERT_TRUE(pumpBoth([&] { return source->finished; })) << c.name;
        EXPECT_EQ(source->finishedSuccess, !c.paths.empty()) << c.name;
        pumpUntil([] { return false; }, 20);
        std::vector<std::vector<std::string>> drops;
        for (const WindowEvent& e : recorder.events)
            if (e.kind == WindowEvent::Kind::Drop) {
                drops.push_back(e.paths);
                EXPECT_EQ(std::pair(e.x, e.y), std::pair(20, 30)) << c.name;
            }
        if (c.paths.empty())
            EXPECT_TRUE(drops.empty()) << c.name;
        else
            EXPECT_EQ(drops, std::vector<std::vector<std::string>>{c.paths}) << c.name;
    }
}

// The file dialog beside the loop: a stub zenity first on the search path, which
// notes its pid, waits, prints the answer and exits with the status put in place.
class X11FileDialog : public X11Windows {
  protected:
    void SetUp() override {
        const std::string script = "#!/bin/sh\n"
                                   "d=$(dirname \"$0\")\n"
                                   "echo $$ > \"$d/pid\"\n"
                                   "[ -f \"$d/hang\" ] && exec sleep 30\n"
                                   "sleep 0.3\n"
                                   "cat \"$d/answer\" 2>/dev/null\n"
                                   "exit $(cat \"$d/status\" 2>/dev/null || echo 0)\n";
        const std::string stub =
            dir.write("zenity", std::vector<uint8_t>(script.begin(), script.end()));
        ::chmod(stub.c_str(), 0755);
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
        ::setenv("PATH", (dir.file("") + ":" + savedPath).c_str(),
                 1); // read when the platform opens
        // No session bus, so no desktop portal answers instead of the stub.
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        savedBus = bus ? std::optional<std::string>(bus) : std::nullopt;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir.file("no-bus")).c_str(), 1);
        X11Windows::SetUp();
    }
    void TearDown() override {
        ::setenv("PATH", savedPath.c_str(), 1);
        if (savedBus)
            ::setenv("DBUS_SESSION_BUS_ADDRESS", savedBus->c_str(), 1);
        else
            ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    void answer(const std::string& text, int status) {
        dir.write("answer", std::vector<uint8_t>(text.begin(), text.end()));
        const std::string code = std::to_string(status);
        dir.write("status", std::vector<uint8_t>(code.begin(), code.end()));
    }
    pid_t stubPid() {
        pid_t pid = -1;
        pumpUntil([&] {
            const std::vector<uint8_t> bytes = TempDir::read(dir.file("pid"));
            if (bytes.empty() || bytes.back() != '\n') return false;
            pid = std::stoi(std::string(bytes.begin(), bytes.end()));
            return true;
        });
        return pid;
    }
    static bool gone(pid_t pid) { return pid > 0 && ::kill(pid, 0) == -1 && errno == ESRCH; }

    std::vector<WindowEvent> chosen() const {
        std::vector<WindowEvent> result;
        for (const WindowEvent& e : recorder.events)
            if (e.kind == WindowEvent::Kind::FileChosen) result.push_back(e);
        return result;
    }

    TempDir dir;
    std::string savedPath;
    std::optional<std::string> savedBus;
    FileDialogRequest dialog{"Open update file", {{"qfu (*.qfu)", "*.qfu"}}, "qfu", "", ""};
};

TEST_F(X11FileDialog, TheLoopRunsWhileTheDialogIsOpenAndItsAnswerArrivesOnce) {
    PlatformWindow* window = openShown();
    ASSERT_NE(window, nullptr);
    answer("/home/u/fw/new firmware.qfu\n", 0);
    int ticksBeforeAnswer = -1, presentsBeforeAnswer = -1, ticks = 0;
    recorder.also = [&](PlatformWindow* w, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Timer && e.timerId == 4100) {
            ++ticks;
            platform->requestPresent(w);
        } else if (e.kind == WindowEvent::Kind::FileChosen && ticksBeforeAnswer < 0) {
            ticksBeforeAnswer = ticks;
            presentsBeforeAnswer = recorder.count(WindowEvent::Kind::PresentRequest);
        }
    };
    platform->startTimer(window, 4100, 20);
    const auto start = Clock::now();
    ASSERT_TRUE(platform->beginOpenFileDialog(window, dialog));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(150)) << "returns at once";
    EXPECT_FALSE(platform->beginOpenFileDialog(window, dialog)) << "one at a time";

    ASSERT_TRUE(pumpUntil([&] { return !chosen().empty(); }));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(290));
    EXPECT_GE(ticksBeforeAnswer, 5);
    EXPECT_GE(presentsBeforeAnswer, 3);
    EXPECT_EQ(chosen().front().paths, std::vector<std::string>{"/home/u/fw/new firmware.qfu"});
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(chosen().size(), 1u) << "one answer";
    EXPECT_TRUE(gone(stubPid())) << "reaped";

    // Cancelled: an answer without a path; then the next dialog may open.
    answer("", 1);
    ASSERT_TRUE(platform->beginOpenFileDialog(window, dialog));
    ASSERT_TRUE(pumpUntil([&] { return chosen().size() == 2; }));
    EXPECT_TRUE(chosen().back().paths.empty());
    // The modal dialog still answers the same way.
    answer("/a.qfu\n", 0);
    EXPECT_EQ(platform->openFileDialog(window, dialog), std::optional<std::string>("/a.qfu"));
}

TEST_F(X11FileDialog, ClosingTheOwnerOrTheProgramEndsTheDialogUnanswered) {
    dir.write("hang", {'1'});
    PlatformWindow* window = openShown();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(platform->beginOpenFileDialog(window, dialog));
    const pid_t first = stubPid();
    ASSERT_GT(first, 0);
    EXPECT_FALSE(gone(first));
    platform->destroyWindow(window);
    EXPECT_TRUE(gone(first)) << "killed and reaped with its owner";
    pumpUntil([] { return false; }, 100);
    EXPECT_TRUE(chosen().empty());
    EXPECT_FALSE(platform->beginOpenFileDialog(window, dialog)) << "no live owner";

    std::filesystem::remove(dir.file("pid"));
    PlatformWindow* other = platform->createWindow(request, &recorder);
    ASSERT_TRUE(platform->beginOpenFileDialog(other, dialog));
    const pid_t second = stubPid();
    ASSERT_GT(second, 0);
    platform.reset();
    EXPECT_TRUE(gone(second)) << "killed and reaped when the program ends";
    EXPECT_TRUE(chosen().empty());
}

TEST_F(X11FileDialog, NoDialogProgramOpensNothing) {
    ::setenv("PATH", "/nonexistent", 1);
    std::string error;
    std::unique_ptr<X11Platform> bare = openX11Platform(error);
    ::setenv("PATH", savedPath.c_str(), 1);
    ASSERT_NE(bare, nullptr) << error;
    PlatformWindow* window = bare->createWindow(request, &recorder);
    ASSERT_NE(window, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(bare->beginOpenFileDialog(window, dialog));
    testing::internal::GetCapturedStderr();
    bare->pumpEvents(20);
    EXPECT_TRUE(chosen().empty());
}

// Real input through xdotool (XTEST), where it is installed.
class X11Input : public X11Windows {
protected:
    void SetUp() override {
        X11Windows::SetUp();
        if (IsSkipped())
            return;
        const char* path = std::getenv("PATH");
        xdotool = findProgram("xdotool", path ? path : "");
        if (xdotool.empty())
            GTEST_SKIP() << "xdotool is not installed";
    }
    void run(const std::vector<std::string>& arguments) {
        EXPECT_EQ(runProgram(xdotool, arguments).exitCode, 0);
    }
    std::string xdotool;
};

TEST_F(X11Input, ClicksDoubleClicksWheelAndKeys) {
    PlatformWindow* window = openShown(50, 60);
    ASSERT_NE(window, nullptr);
    using B = WindowEvent::Button;
    run({"mousemove", "150", "160"});
    run({"click", "1"});
    run({"click", "--repeat", "2", "--delay", "60", "1"});
    run({"click", "3"});
    run({"click", "4"});
    run({"click", "5"});
    const std::vector<B> expected = {B::LeftDown, B::LeftUp,   B::LeftDown,  B::LeftUp, B::LeftDouble,
                                     B::LeftUp,   B::RightDown, B::RightUp,  B::Wheel,  B::Wheel};
    // The first single click and the pair are far enough apart in time? No: make sure.
    ASSERT_TRUE(pumpUntil([&] { return recorder.buttons().size() >= expected.size(); }));
    const std::vector<B> got = recorder.buttons();
    // The single click and the double click's first press may pair up; both orders are sound.
    const std::vector<B> paired = {B::LeftDown, B::LeftUp,   B::LeftDouble, B::LeftUp, B::LeftDown,
                                   B::LeftUp,   B::RightDown, B::RightUp,   B::Wheel,  B::Wheel};
    EXPECT_TRUE(got == expected || got == paired);
    int wheel = 0;
    for (const WindowEvent& e : recorder.events)
        if (e.button == B::Wheel)
            wheel += e.wheelDelta == 120 ? 1 : e.wheelDelta == -120 ? 10 : 100;
    EXPECT_EQ(wheel, 11);
    for (const WindowEvent& e : recorder.events)
        if (e.kind == WindowEvent::Kind::Mouse && e.button == B::LeftDown) {
            EXPECT_EQ(std::pair(e.x, e.y), std::pair(100, 100));
            EXPECT_EQ(std::pair(e.screenX, e.screenY), std::pair(150, 160));
        }

    recorder.events.clear();
    run({"key", "shift+a", "Escape", "F5", "KP_Enter"});
    ASSERT_TRUE(pumpUntil([&] { return recorder.count(WindowEvent::Kind::Key) >= 10; }));
    std::vector<std::pair<uint32_t, bool>> keys;
    bool shiftedA = false;
    for (const WindowEvent& e : recorder.events)
        if (e.kind == WindowEvent::Kind::Key) {
            keys.emplace_back(e.keyCode, e.keyDown);
            shiftedA |= e.keyCode == 'A' && e.keyDown && e.shift;
        }
    const std::vector<std::pair<uint32_t, bool>> expectedKeys = {
        {16, true}, {'A', true}, {16, false}, {'A', false}, {27, true},
        {27, false}, {116, true}, {116, false}, {13, true}, {13, false}};
    EXPECT_EQ(keys, expectedKeys);
    EXPECT_TRUE(shiftedA);
}

TEST_F(X11Input, WindowDragWithoutAWindowManagerKeepsTimersRunning) {
    PlatformWindow* window = openShown(50, 60);
    ASSERT_NE(window, nullptr);
    run({"mousemove", "70", "80", "mousedown", "1"});
    ASSERT_TRUE(pumpUntil([&] { return !recorder.buttons().empty(); }));
    int ticks = 0;
    recorder.also = [&](PlatformWindow*, const WindowEvent& e) {
        if (e.kind != WindowEvent::Kind::Timer)
            return;
        if (++ticks == 2)
            run({"mousemove", "170", "130"});
        else if (ticks == 4)
            run({"mouseup", "1"});
    };
    platform->startTimer(window, 4100, 20);
    const auto start = Clock::now();
    platform->startWindowDrag(window, 70, 80);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_GE(ticks, 4);
    int x = 0, y = 0;
    platform->windowPosition(window, x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(150, 110));
    EXPECT_EQ(recorder.buttons(), std::vector<WindowEvent::Button>{WindowEvent::Button::LeftDown})
        << "the drag takes the release";

    // With the button already up, there is nothing to follow.
    platform->startWindowDrag(window, 170, 130);
}

// The edit popup over a field of the editor's child window, used as a user would:
// keys and the pointer through xdotool (XTEST), selections from other clients.
class X11EditPopups : public X11Input {
protected:
    void SetUp() override {
        X11Input::SetUp();
        if (IsSkipped())
            return;
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        platform->setTextRenderer(&renderer);
        window = openShown(50, 60);
        ASSERT_NE(window, nullptr);
        child = openChild(*platform, window);
        ASSERT_NE(child, nullptr);
        field.rect = PixelRect{20, 30, 120, 44}; // 14 high: the popup is 17
        field.fontHeight = 12;
    }
    void TearDown() override {
        if (display)
            XCloseDisplay(display);
    }

    PlatformWindow* openChild(X11Platform& on, PlatformWindow* parent) {
        WindowRequest childRequest;
        childRequest.width = 480, childRequest.height = 240;
        childRequest.parent = parent;
        PlatformWindow* made = on.createWindow(childRequest, &editor);
        if (made) {
            Picture page(480, 240, 0x336699);
            on.present(made, page.image(), PixelRect{0, 0, 480, 240});
        }
        return made;
    }

    // Opens the popup over the field and waits until it shows.
    bool open(X11Platform& on, PlatformWindow* owner) {
        if (!on.openEditPopup(owner, field))
            return false;
        const auto end = Clock::now() + std::chrono::seconds(3);
        std::vector<uint32_t> pixels;
        int width = 0, height = 0;
        while (!on.readEditPopupPixels(owner, pixels, width, height) || pixels[0] != 0) { // the border is drawn
            if (Clock::now() > end)
                return false;
            on.pumpEvents(5);
        }
        return true;
    }
    bool open() { return open(*platform, child); }
    const WindowEvent* ended() const { return editor.last(WindowEvent::Kind::EditEnded); }
    std::vector<uint32_t> popupPixels(X11Platform& on, PlatformWindow* owner) {
        std::vector<uint32_t> pixels;
        int width = 0, height = 0;
        EXPECT_TRUE(on.readEditPopupPixels(owner, pixels, width, height));
        return pixels;
    }
    bool windowExists(unsigned long id) {
        XWindowAttributes attributes;
        return XGetWindowAttributes(display, id, &attributes) != 0;
    }
    // Screen coordinates of a point of the popup, in page pixels from its corner.
    std::string screenX(int x) const { return std::to_string(50 + field.rect.left + x); }
    std::string screenY(int y) const { return std::to_string(60 + field.rect.top + y); }

    Display* display = nullptr; // another client of the server
    CCLineRenderer renderer;
    PlatformWindow* window = nullptr;
    PlatformWindow* child = nullptr;
    Recorder editor;
    EditPopupRequest field;
};

// Keys for characters the virtual keyboard lacks, bound while it lives.
struct ExtraKeys {
    Display* display;
    std::vector<int> codes;
    ExtraKeys(Display* on, std::initializer_list<KeySym> symbols) : display(on) {
        int first = 0, last = 0, perCode = 0;
        XDisplayKeycodes(display, &first, &last);
        KeySym* map = XGetKeyboardMapping(display, KeyCode(first), last - first + 1, &perCode);
        for (int code = last; code >= first && codes.size() < symbols.size(); --code) {
            bool unused = true;
            for (int i = 0; i < perCode; ++i)
                unused = unused && map[(code - first) * perCode + i] == NoSymbol;
            if (unused)
                codes.push_back(code);
        }
        XFree(map);
        auto symbol = symbols.begin();
        for (int code : codes) {
            KeySym both[2] = {*symbol, *symbol++};
            XChangeKeyboardMapping(display, code, 2, both, 1);
        }
        XSync(display, False);
    }
    ~ExtraKeys() {
        for (int code : codes) {
            KeySym none[2] = {NoSymbol, NoSymbol};
            XChangeKeyboardMapping(display, code, 2, none, 1);
        }
        XSync(display, False);
    }
};

TEST_F(X11EditPopups, KeysAndPressesEndItOnceWithItsText) {
    using Ending = WindowEvent::EditEnding;
    using Runs = std::vector<std::vector<std::string>>;
    ExtraKeys extra(display, {XK_eacute, XK_EuroSign, XK_udiaeresis});
    ASSERT_EQ(extra.codes.size(), 3u);
    const std::string middle = screenY(8), farLeft = screenX(1), farRight = screenX(98);
    struct Case {
        const char* name;
        const char* text;
        int maxLength;
        Runs runs;
        Ending ending;
        std::string result;
        bool stealFocus = false;
    };
    const Case cases[] = {
        {"typing replaces the selection, Enter commits", "abc", 255, {{"type", "hello"}, {"key", "Return"}},
         Ending::Commit, "hello"},
        {"Escape abandons", "abc", 255, {{"type", "xy"}, {"key", "Escape"}}, Ending::Abandon, "xy"},
        {"a press elsewhere is a loss of focus", "abc", 255, {{"type", "q"}, {"mousemove", "300", "200", "click", "1"}},
         Ending::FocusLost, "q"},
        {"so is the window losing the focus", "abc", 255, {{"key", "End"}, {"type", "d"}}, Ending::FocusLost, "abcd",
         true},
        {"editing keys", "abcdef", 255,
         {{"key", "Home", "Right", "shift+Right", "shift+Right"},
          {"type", "X"},
          {"key", "End", "BackSpace", "Home", "Delete", "Return"}},
         Ending::Commit, "Xde"},
        {"ctrl+a selects all", "abc", 255, {{"key", "End", "ctrl+a"}, {"type", "z"}, {"key", "KP_Enter"}},
         Ending::Commit, "z"},
        {"the limit holds for typing", "abcdef", 4, {{"type", "123456"}, {"key", "Return"}}, Ending::Commit, "1234"},
        {"characters beyond Latin-1 and Tab type nothing", "", 255,
         {{"key", "eacute", "EuroSign", "udiaeresis", "Tab", "Return"}}, Ending::Commit, "\xE9\xFC"},
        {"a click places the caret, a drag selects", "abcdef", 255,
         {{"mousemove", farRight, middle, "click", "1"},
          {"type", "Z"},
          {"mousemove", farLeft, middle, "mousedown", "1", "mousemove", farRight, middle, "mouseup", "1"},
          {"type", "Q"},
          {"key", "Return"}},
         Ending::Commit, "Q"},
        {"shift and a click extend", "abcdef", 255,
         {{"key", "Home"}, {"mousemove", farRight, middle, "keydown", "shift", "click", "1", "keyup", "shift"},
          {"type", "W"}, {"key", "Return"}},
         Ending::Commit, "W"},
    };
    for (const Case& c : cases) {
        editor.events.clear();
        field.text = c.text;
        field.maxLength = c.maxLength;
        ASSERT_TRUE(open()) << c.name;
        const unsigned long popup = platform->editPopupWindow(child);
        bool goneFirst = false;
        editor.also = [&](PlatformWindow*, const WindowEvent& e) {
            if (e.kind == WindowEvent::Kind::EditEnded)
                goneFirst = platform->editPopupWindow(child) == 0;
        };
        for (const std::vector<std::string>& run : c.runs)
            this->run(run);
        if (c.stealFocus) {
            ASSERT_TRUE(pumpUntil([&] { return platform->editPopupText(child) == c.result; })) << c.name;
            const Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
            XMapWindow(display, other);
            XSync(display, False);
            pumpUntil([] { return false; }, 30);
            XSetInputFocus(display, other, RevertToPointerRoot, CurrentTime);
            XDestroyWindow(display, other);
            XSync(display, False);
        }
        ASSERT_TRUE(pumpUntil([&] { return editor.count(WindowEvent::Kind::EditEnded) > 0; })) << c.name;
        pumpUntil([] { return false; }, 20);
        editor.also = nullptr;
        EXPECT_EQ(editor.count(WindowEvent::Kind::EditEnded), 1) << c.name << ": one ending";
        EXPECT_EQ(ended()->editEnding, c.ending) << c.name;
        EXPECT_EQ(ended()->text, c.result) << c.name;
        EXPECT_TRUE(goneFirst) << c.name << ": the popup goes before its owner hears";
        EXPECT_FALSE(windowExists(popup)) << c.name;
        bool keyPressed = false, pressed = false;
        for (const WindowEvent& e : editor.events) {
            keyPressed = keyPressed || (e.kind == WindowEvent::Kind::Key && e.keyDown);
            pressed = pressed || (e.kind == WindowEvent::Kind::Mouse && e.button == WindowEvent::Button::LeftDown);
        }
        EXPECT_FALSE(keyPressed) << c.name << ": its keys are the popup's";
        EXPECT_EQ(pressed, c.ending == Ending::FocusLost && !c.stealFocus)
            << c.name << ": a press outside it reaches the window too";
    }
}

TEST_F(X11EditPopups, WhatItShowsPasswordsAlignmentAndScale) {
    auto shown = [&](const std::string& text, bool password, const std::vector<std::string>& keys = {}) {
        field.text = text;
        field.password = password;
        EXPECT_TRUE(open()) << text;
        if (!keys.empty()) {
            run(keys);
            pumpUntil([&] { return platform->editPopupText(child) != text; }, 300);
        }
        std::vector<uint32_t> pixels = popupPixels(*platform, child);
        platform->closeEditPopup(child);
        return pixels;
    };
    // A password shows one star per character, typed ones too, and nothing of its text.
    const std::vector<uint32_t> hidden = shown("secret", true);
    EXPECT_EQ(hidden, shown("******", false));
    EXPECT_NE(hidden, shown("secret", false));
    EXPECT_EQ(shown("", true, {"type", "ab"}), shown("**", false, {"key", "End"}));

    // All selected: the highlight spans the text wherever the alignment puts it.
    auto highlighted = [&](EditPopupRequest::Align align) {
        field.align = align;
        const std::vector<uint32_t> pixels = shown("mid", false);
        int first = 100, last = -1;
        for (int x = 0; x < 100; ++x) {
            const uint32_t rgb = pixels[size_t(8) * 100 + size_t(x)];
            if ((rgb & 0xFF) > (rgb >> 16) + 64) // the highlight, inked or not
                first = std::min(first, x), last = std::max(last, x);
        }
        return std::pair(first, last);
    };
    const auto left = highlighted(EditPopupRequest::Align::Left);
    const auto centre = highlighted(EditPopupRequest::Align::Centre);
    const auto right = highlighted(EditPopupRequest::Align::Right);
    field.align = EditPopupRequest::Align::Left;
    EXPECT_EQ(left.first, 2) << "inside the border and its padding";
    EXPECT_EQ(right.second, 96);
    EXPECT_LE(std::abs((centre.first - 2) - (96 - centre.second)), 1);
    EXPECT_EQ(left.second - left.first, right.second - right.first);
    EXPECT_EQ(centre.second - centre.first, right.second - right.first);

    // At least 16 x 17, exactly over the field.
    const PixelRect wide = field.rect;
    field.rect = PixelRect{200, 100, 205, 103};
    field.text = "x";
    ASSERT_TRUE(open());
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    ASSERT_TRUE(platform->readEditPopupPixels(child, pixels, width, height));
    EXPECT_EQ(std::pair(width, height), std::pair(16, 17));
    Window unused = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(display, platform->editPopupWindow(child), DefaultRootWindow(display), 0, 0, &x, &y,
                          &unused);
    EXPECT_EQ(std::pair(x, y), std::pair(250, 160));
    platform->closeEditPopup(child);
    field.rect = PixelRect{-5, -5, 1 << 30, 1 << 30}; // never larger than the window
    ASSERT_TRUE(open());
    ASSERT_TRUE(platform->readEditPopupPixels(child, pixels, width, height));
    EXPECT_EQ(std::pair(width, height), std::pair(480, 240));
    platform->closeEditPopup(child);
    field.rect = wide;

    // At 200 % each page pixel of the popup is a 2 x 2 block, the same pixels as at 100 %.
    const std::vector<uint32_t> single = shown("Scale", false);
    const Atom resources = XInternAtom(display, "RESOURCE_MANAGER", False);
    const std::string dpi = "Xft.dpi:\t192\n";
    XChangeProperty(display, DefaultRootWindow(display), resources, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(dpi.data()), int(dpi.size()));
    XSync(display, False);
    std::string error;
    std::unique_ptr<X11Platform> doubled = openX11Platform(error);
    XDeleteProperty(display, DefaultRootWindow(display), resources);
    XSync(display, False);
    ASSERT_NE(doubled, nullptr) << error;
    ASSERT_EQ(doubled->displayScale(), 2);
    doubled->setTextRenderer(&renderer);
    Recorder big;
    PlatformWindow* bigWindow = doubled->createWindow(request, &big);
    ASSERT_NE(bigWindow, nullptr);
    doubled->moveWindow(bigWindow, 10, 20);
    doubled->showWindow(bigWindow, ShowCommand::Normal);
    PlatformWindow* bigChild = openChild(*doubled, bigWindow);
    ASSERT_NE(bigChild, nullptr);
    field.text = "Scale";
    ASSERT_TRUE(open(*doubled, bigChild));
    ASSERT_TRUE(doubled->readEditPopupPixels(bigChild, pixels, width, height));
    ASSERT_EQ(std::pair(width, height), std::pair(200, 34));
    int mismatches = 0;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            mismatches += pixels[size_t(row) * 200 + size_t(column)] !=
                          single[size_t(row / 2) * 100 + size_t(column / 2)];
    EXPECT_EQ(mismatches, 0);
    XTranslateCoordinates(display, doubled->editPopupWindow(bigChild), DefaultRootWindow(display), 0, 0, &x, &y,
                          &unused);
    EXPECT_EQ(std::pair(x, y), std::pair(10 + 40, 20 + 60));
}

// Another program's side of a selection: answers a conversion to UTF-8 text, or
// to Latin-1 text only, or never.
struct SelectionOwner {
    Display* display = XOpenDisplay(nullptr);
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    std::optional<std::string> utf8Text, latin1Text;
    bool answers = true;
    int requests = 0;

    ~SelectionOwner() {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
    bool own(const char* selection) {
        const Atom atom = XInternAtom(display, selection, False);
        XSetSelectionOwner(display, atom, window, CurrentTime);
        XSync(display, False);
        return XGetSelectionOwner(display, atom) == window;
    }
    void step() {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != SelectionRequest)
                continue;
            ++requests;
            if (!answers)
                continue;
            const XSelectionRequestEvent& asked = event.xselectionrequest;
            const std::optional<std::string>& text = asked.target == utf8 ? utf8Text
                                                     : asked.target == XA_STRING ? latin1Text
                                                                                 : std::optional<std::string>();
            XEvent reply{};
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = asked.requestor;
            reply.xselection.selection = asked.selection;
            reply.xselection.target = asked.target;
            reply.xselection.time = asked.time;
            reply.xselection.property = text ? asked.property : 0;
            if (text)
                XChangeProperty(display, asked.requestor, asked.property, asked.target, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(text->data()), int(text->size()));
            XSendEvent(display, asked.requestor, False, 0, &reply);
            XFlush(display);
        }
    }
};

TEST_F(X11EditPopups, PastesFromOtherProgramsWithoutWaitingForThem) {
    using Runs = std::vector<std::vector<std::string>>;
    struct Case {
        const char* name;
        const char* selection;
        std::optional<std::string> utf8, latin1;
        bool answers;
        int maxLength;
        Runs runs;
        std::string result;
    };
    const Case cases[] = {
        {"CLIPBOARD as UTF-8, Latin-1 kept, control characters as they are, cut to the limit", "CLIPBOARD",
         "ab\t\xC3\xA9\xE2\x82\xAC" "def", std::nullopt, true, 5, {{"key", "ctrl+v"}}, "ab\t\xE9" "d"},
        {"Latin-1 from an owner without UTF-8", "CLIPBOARD", std::nullopt, "\xE9t\xE9", true, 255,
         {{"key", "shift+Insert"}}, "\xE9t\xE9"},
        {"the middle button pastes PRIMARY where it is pressed", "PRIMARY", "mid", std::nullopt, true, 255,
         {{"mousemove", screenX(98), screenY(8), "click", "2"}}, "xyzmid"},
        {"an owner that never answers holds nothing up", "CLIPBOARD", "late", std::nullopt, false, 255,
         {{"key", "ctrl+v"}, {"type", "k"}}, "k"},
    };
    for (const Case& c : cases) {
        SelectionOwner owner;
        owner.utf8Text = c.utf8, owner.latin1Text = c.latin1, owner.answers = c.answers;
        ASSERT_TRUE(owner.own(c.selection)) << c.name;
        editor.events.clear();
        field.text = "xyz";
        field.maxLength = c.maxLength;
        ASSERT_TRUE(open()) << c.name;
        platform->startTimer(child, 4100, 10);
        for (const std::vector<std::string>& run : c.runs)
            this->run(run);
        EXPECT_TRUE(pumpUntil([&] {
            owner.step();
            return platform->editPopupText(child) == c.result;
        })) << c.name << ": " << platform->editPopupText(child).value_or("(closed)");
        EXPECT_GE(owner.requests, 1) << c.name;
        EXPECT_GE(editor.count(WindowEvent::Kind::Timer, 4100), 1) << c.name << ": the loop runs on";
        platform->stopTimer(child, 4100);
        run({"key", "Return"});
        ASSERT_TRUE(pumpUntil([&] { return editor.count(WindowEvent::Kind::EditEnded) == 1; })) << c.name;
        EXPECT_EQ(ended()->text, c.result) << c.name;
    }
}

TEST_F(X11EditPopups, EndsOfTheProgramsOwnAreNoAnswer) {
    field.text = "abcd";
    ASSERT_TRUE(open());
    EXPECT_EQ(platform->editPopupText(child), std::optional<std::string>("abcd"));
    const unsigned long first = platform->editPopupWindow(child);
    ASSERT_TRUE(open()) << "a second popup";
    EXPECT_FALSE(windowExists(first)) << "ends the first";
    run({"type", "x"});
    ASSERT_TRUE(pumpUntil([&] { return platform->editPopupText(child) == std::optional<std::string>("x"); }));
    const unsigned long second = platform->editPopupWindow(child);
    EXPECT_EQ(platform->closeEditPopup(child), std::optional<std::string>("x"));
    EXPECT_FALSE(windowExists(second));
    EXPECT_EQ(platform->closeEditPopup(child), std::nullopt);
    EXPECT_EQ(platform->editPopupText(child), std::nullopt);

    // The owner's end takes its popup with it; so does its parent's.
    ASSERT_TRUE(open());
    const unsigned long third = platform->editPopupWindow(child);
    platform->destroyWindow(child);
    EXPECT_FALSE(windowExists(third));
    child = openChild(*platform, window);
    ASSERT_TRUE(open());
    const unsigned long fourth = platform->editPopupWindow(child);
    platform->destroyWindow(window);
    EXPECT_FALSE(windowExists(fourth));
    EXPECT_FALSE(platform->openEditPopup(child, field)) << "no live owner";
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(editor.count(WindowEvent::Kind::EditEnded), 0);

    // Without a renderer there is nothing to show the text with.
    platform->setTextRenderer(nullptr);
    window = openShown(50, 60);
    EXPECT_FALSE(platform->openEditPopup(window, field));
}

TEST_F(X11EditPopups, APointerTheWindowCapturedStaysItsOwn) {
    // As a field opens it: on the press, with the pointer captured; the release over
    // the popup then belongs to the window, which lets the capture go.
    run({"mousemove", screenX(10), screenY(8), "mousedown", "1"});
    ASSERT_TRUE(pumpUntil([&] { return !editor.buttons().empty(); }));
    platform->captureMouse(child);
    field.text = "abc";
    ASSERT_TRUE(open());
    editor.also = [&](PlatformWindow*, const WindowEvent& e) {
        if (e.kind == WindowEvent::Kind::Mouse && e.button == WindowEvent::Button::LeftUp)
            platform->releaseMouse(child);
    };
    run({"mouseup", "1"});
    ASSERT_TRUE(pumpUntil([&] { return editor.buttons().size() == 2; }));
    editor.also = nullptr;
    EXPECT_EQ(editor.buttons().back(), WindowEvent::Button::LeftUp);
    EXPECT_TRUE(editor.mouseAt(field.rect.left + 10, field.rect.top + 8)) << "in the window's coordinates";
    EXPECT_EQ(editor.count(WindowEvent::Kind::EditEnded), 0) << "a release is no press elsewhere";

    // Uncaptured, a click in the popup is its own.
    run({"mousemove", screenX(98), screenY(8), "click", "1"});
    run({"type", "k"});
    ASSERT_TRUE(pumpUntil([&] { return platform->editPopupText(child) == std::optional<std::string>("abck"); }))
        << platform->editPopupText(child).value_or("(closed)");
    EXPECT_EQ(editor.buttons().size(), 2u);
}

} // namespace
