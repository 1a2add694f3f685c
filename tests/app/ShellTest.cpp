// The whole window program in memory: the headless platform stands in for the OS,
// the simulated device for the hardware, and the test plays the user.
#include "../framework/Golden.h"
#include "../support/FastWorkerClock.h"
#include "../support/TempDir.h"

#include "CAudioEffect.h"
#include "CBackPage.h"
#include "CCButtons.h"
#include "CCEditor.h"
#include "CCValueDisplays.h"
#include "CMainWindow.h"
#include "CUpdatePresenter.h"
#include "Framework.h"
#include "HeadlessPlatform.h"
#include "HeadlessSettings.h"
#include "QfuPacker.h"
#include "SimulatedHid.h"
#include "TerminalProgram.h"
#include "UpdateTexts.h"
#include "WindowProgram.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

struct Shell {
    explicit Shell(const std::string& deviceConfig = "") {
        previous = setUiPlatform(&platform);
        startFramework();
        std::string error;
        EXPECT_TRUE(SimulatedDeviceConfig::parse(deviceConfig, config, error)) << error;
        hid = std::make_shared<SimulatedHidSystem>(config);
        dependencies = ShellDependencies{hid, nullptr, &fades, false};
    }
    ~Shell() {
        main.reset();
        setUiPlatform(previous);
    }

    void open() {
        main = std::make_unique<CMainWindow>(dependencies, &settings);
        ASSERT_TRUE(main->create());
    }
    HeadlessWindow* window() const { return platform.lastTopLevel(); }
    // The editor's child window: the page's input, timers and presents.
    HeadlessWindow* editorWindow() const { return platform.childOf(window()); }
    CBackPage* page() const { return main->page(); }

    std::string makeFile(size_t blocks, FirmwareVersion version = {1, 1, 0}) {
        qfu::PackOptions options;
        options.vendorId = config.vendorId;
        options.productId = config.productId;
        options.version = version;
        options.deviceName = "Quorix Demo Device";
        options.image = qfu::randomImage(blocks * config.blockSize, 7);
        return dir.write("update" + std::to_string(files++) + ".qfu", qfu::pack(options));
    }

    // Window timers on the test clock, the worker in real time beside them.
    bool until(const std::function<bool()>& done, int limitMs = 15000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            platform.advance(50);
            platform.pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    // Runs every fade to its end: the pixels are final.
    bool settled() {
        fades.now += 100000;
        main->editor()->animator().runPass();
        return main->editor()->animator().entryCount() == 0;
    }
    bool showing(const std::string& line) const {
        for (const std::string& shown : page()->lines())
            if (shown == line)
                return true;
        return false;
    }

    void mouse(WindowEvent::Button button, int x, int y) {
        WindowEvent event;
        event.kind = WindowEvent::Kind::Mouse;
        event.button = button;
        event.x = x, event.y = y;
        event.screenX = window()->x + x, event.screenY = window()->y + y;
        platform.deliver(editorWindow(), event);
    }
    void click(int x, int y) {
        mouse(WindowEvent::Button::LeftDown, x, y);
        mouse(WindowEvent::Button::LeftUp, x, y);
    }
    void drop(const std::vector<std::string>& paths) {
        WindowEvent event;
        event.kind = WindowEvent::Kind::Drop;
        event.paths = paths;
        platform.deliver(window(), event);
    }
    // What the window shows now, as an image for the golden comparison.
    void expectScreen(const std::string& name) const {
        CCBitmap shot;
        shot.createBlank(window()->width, window()->height);
        for (int y = 0; y < window()->height; ++y)
            for (int x = 0; x < window()->width; ++x) {
                const uint8_t* in = &window()->screen[(size_t(y) * size_t(window()->width) + size_t(x)) * 3];
                uint8_t* out = shot.pixelAt(x, y);
                out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
            }
        expectGolden(name, shot);
    }

    struct ManualClock : FadeClock {
        uint32_t now = 1000;
        uint32_t nowMs() override { return now; }
    } fades;
    HeadlessPlatform platform;
    HeadlessSettings settings;
    UiPlatform* previous = nullptr;
    SimulatedDeviceConfig config;
    std::shared_ptr<SimulatedHidSystem> hid;
    ShellDependencies dependencies;
    std::unique_ptr<CMainWindow> main;
    TempDir dir;
    int files = 0;
};

} // namespace

TEST(Shell, AnInteractiveUpdateFromDropToClose) {
    // 100 blocks; the device stays silent once at block 36, so the bar rests at 37 %.
    // It restarts without going away, so the result stays on the page.
    Shell shell("block=256,silent-at=36,once,latency=0,restart=0");
    shell.open();
    HeadlessWindow* window = shell.window();
    ASSERT_TRUE(window && window->shown);
    EXPECT_EQ(window->request.className, "Quorix-Firmware-Main-C7WK0-3HYR7");
    EXPECT_EQ(window->request.title, "Quorix Firmware Updater");
    EXPECT_EQ(window->x, 960 - 240); // centred: no saved place
    EXPECT_EQ(window->y, 540 - 120);
    // The editor's child window covers the main window and owns the page's timers;
    // only its timers keep the one-shot rule.
    HeadlessWindow* child = shell.editorWindow();
    ASSERT_TRUE(child);
    EXPECT_EQ(child->request.className, "TVL-VST-001");
    EXPECT_EQ(std::make_pair(child->width, child->height), std::make_pair(480, 240));
    EXPECT_TRUE(child->request.oneShotTimers && !window->request.oneShotTimers);
    EXPECT_EQ(shell.platform.timerInterval(child, CCEditor::kPageTimer), 50u);
    EXPECT_EQ(shell.platform.timerInterval(child, CCEditor::kFrameTimer), 20u);
    EXPECT_EQ(shell.platform.timerInterval(window, CMainWindow::kForegroundTimer), 200u);
    EXPECT_EQ(shell.platform.timerInterval(window, CCEditor::kPageTimer), 0u);
    EXPECT_TRUE(window->hole[0]);              // the rounded corners let the desktop through
    EXPECT_FALSE(window->hole[240 * 120 + 240]);
    EXPECT_EQ(shell.page()->lines(), updatetexts::startLines());
    shell.expectScreen("window_start");

    shell.drop({shell.makeFile(100), shell.dir.file("second-is-ignored.qfu")});
    ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5 && shell.settled(); }));
    EXPECT_TRUE(shell.page()->updateButton()->enabled());
    EXPECT_EQ(shell.page()->lines()[4], "Ready to update");
    shell.expectScreen("window_device");

    // The update button: the press is claimed, so the window captures the mouse.
    shell.mouse(WindowEvent::Button::LeftDown, 380, 118);
    EXPECT_EQ(shell.platform.captured, child);
    EXPECT_EQ(shell.platform.focused, child);
    EXPECT_EQ(shell.platform.drags, 0);
    shell.mouse(WindowEvent::Button::LeftUp, 380, 118);
    EXPECT_EQ(shell.platform.captured, nullptr);
    ASSERT_TRUE(shell.until([&] { return shell.page()->worker().progress() == 37; }));
    ASSERT_TRUE(shell.until([&] { return shell.page()->progressBar()->value() == 37 && shell.settled(); }));
    EXPECT_FALSE(shell.page()->updateButton()->enabled());
    EXPECT_FALSE(shell.page()->closeButton()->enabled());
    shell.expectScreen("window_progress");
    // A file dropped now is refused; the update goes on.
    shell.drop({shell.makeFile(3, {9, 9, 9})});
    EXPECT_TRUE(shell.showing(updatetexts::kDropRefused));

    ASSERT_TRUE(shell.until([&] { return shell.showing(updatetexts::kUpdateSuccessful) && shell.settled(); }));
    EXPECT_EQ(shell.page()->worker().updater().header().version().major, 1); // not the dropped 9.9.9
    shell.expectScreen("window_result");

    // An empty spot drags the window instead.
    shell.click(200, 30);
    EXPECT_EQ(shell.platform.drags, 1);
    shell.click(440, 30); // the close button
    shell.platform.pump();
    EXPECT_TRUE(shell.main->closed());
    EXPECT_TRUE(shell.platform.quitPosted());
    EXPECT_TRUE(child->destroyed && window->destroyed);
    uint32_t packed = 0;
    EXPECT_TRUE(shell.settings.readDword(CMainWindow::kPositionValue, packed));
    EXPECT_EQ(packed, packWindowPosition(720, 420));
}

TEST(Shell, CloseDuringAWindowDragWaitsForThePress) {
    Shell shell;
    shell.open();
    bool aliveDuringDrag = false;
    shell.platform.duringDrag = [&] {
        // The move loop runs events: a close arrives while the press is handled.
        shell.platform.postClose(shell.window());
        shell.platform.pump();
        aliveDuringDrag = !shell.main->closed();
    };
    shell.mouse(WindowEvent::Button::LeftDown, 200, 30); // empty area: a drag
    EXPECT_TRUE(aliveDuringDrag);
    shell.platform.pump();
    EXPECT_TRUE(shell.main->closed());
}

TEST(Shell, FadesOnTheirOwnThreadPresentOnlyThroughTheWindowThread) {
    Shell shell;
    shell.dependencies.fadeClock = nullptr;
    shell.dependencies.fadeThread = true; // the real fade thread, in real time
    shell.open();
    shell.drop({shell.makeFile(4)});
    // The device's arrival fades the update button in.
    ASSERT_TRUE(shell.until([&] {
        return shell.page()->lines().size() == 5 && shell.main->editor()->animator().entryCount() == 0;
    }));
    shell.platform.pump(); // the last step's present
    EXPECT_EQ(shell.platform.presentsOffThread.load(), 0);
    shell.expectScreen("window_device");
}

TEST(Shell, CommandLineRunClosesTheWindowWithItsResult) {
    struct Case {
        const char* device;
        bool ok;
    } cases[] = {{"latency=0", true}, {"latency=0,nak-at=1", false}};
    for (const Case& c : cases) {
        Shell shell(c.device);
        shell.dependencies.clock = std::make_shared<FastWorkerClock>(20); // the 15 s of retries
        const std::string file = shell.makeFile(20);
        shell.open();
        ExitResult = 0;
        shell.main->startCommandLineUpdate(file, "vid_1209&pid_0001");
        EXPECT_EQ(shell.page()->lines(), updatetexts::commandLineStartLines());
        ASSERT_TRUE(shell.until([&] { return shell.main->closed(); }, 30000)) << c.device;
        EXPECT_EQ(ExitResult != 0, c.ok) << c.device;
    }
}

TEST(Shell, SingleInstanceAndSavedPlaces) {
    {
        Shell shell;
        shell.platform.runningInstances = {CMainWindow::kClassName};
        EXPECT_EQ(runWindowProgram("", {}, shell.dependencies, &shell.settings), 1);
        EXPECT_EQ(shell.platform.activated.size(), 1u);
        EXPECT_EQ(shell.platform.lastWindow(), nullptr); // nothing was made
    }
    {
        // With arguments a second instance starts even while one runs; its
        // command-line run ends with the exit code of the update.
        Shell shell("latency=0");
        shell.platform.runningInstances = {CMainWindow::kClassName};
        const std::string file = shell.makeFile(10);
        const std::string line = "-path:\"" + file + "\" -id:\"vid_1209&pid_0001\"";
        EXPECT_EQ(runWindowProgram(line, {"-path:" + file, "-id:vid_1209&pid_0001"}, shell.dependencies,
                                   &shell.settings),
                  0);
        EXPECT_TRUE(shell.platform.activated.empty());
        EXPECT_TRUE(shell.platform.lastWindow() && shell.platform.lastWindow()->destroyed);
    }
    struct Place {
        int savedLeft, savedTop;
        int left, top;
    } places[] = {
        {100, 200, 100, 200},
        {-5, 10, 0, 10},              // bit 15 set: placed at 0
        {1900, 10, 1920 - 480 - 1, 10}, // would pass the right edge: one pixel inside
        {10, 900, 10, 1050 - 240 - 1},
        {1440, 810, 1439, 809},       // ending exactly on the edge counts as beyond
    };
    for (const Place& p : places) {
        Shell shell;
        shell.settings.values[CMainWindow::kPositionValue] = packWindowPosition(p.savedLeft, p.savedTop);
        shell.open();
        EXPECT_EQ(shell.window()->x, p.left) << p.savedLeft << "," << p.savedTop;
        EXPECT_EQ(shell.window()->y, p.top) << p.savedLeft << "," << p.savedTop;
    }
    EXPECT_EQ(bareFileArgument({"--simulate", "/tmp/a.qfu"}), "/tmp/a.qfu");
    EXPECT_EQ(bareFileArgument({"-path:x", "-id:y"}), "");
}

TEST(Shell, EditorTranslatesKeysAndRunsCommands) {
    EXPECT_EQ(CCEditor::translateKey(101), uint32_t('5')); // keypad 5
    EXPECT_EQ(CCEditor::translateKey(96), uint32_t('0'));
    EXPECT_EQ(CCEditor::translateKey(53), 53u);
    EXPECT_EQ(CCEditor::translateKey(106), 106u); // keypad * is not a digit

    Shell shell;
    shell.open();
    CCEditor* editor = shell.main->editor();
    CCMsg site(MSG_VALUE_CHANGED, kTagWebSite, 1, 1.0f, nullptr);
    editor->handleManagerMessage(&site); // second integer 1: nothing
    EXPECT_TRUE(shell.platform.shellOpened.empty());
    site.second = 0;
    editor->handleManagerMessage(&site);
    EXPECT_EQ(shell.platform.shellOpened.size(), 1u);
    struct KeyProbe : CCPageObject {
        int handleMessage(CCMsg* msg) override {
            if (msg->code == MSG_KEY_DOWN || msg->code == MSG_KEY_UP)
                keys.emplace_back(msg->code, msg->first);
            return 0;
        }
        std::vector<std::pair<int, int>> keys;
    };
    auto* probe = new KeyProbe;
    editor->addChild(probe);
    WindowEvent keypad;
    keypad.kind = WindowEvent::Kind::Key;
    keypad.keyDown = true;
    keypad.keyCode = 101; // keypad 5
    shell.platform.deliver(shell.editorWindow(), keypad);
    EXPECT_EQ(probe->keys.back(), std::make_pair(int(MSG_KEY_DOWN), int('5')));
    // Without a dialog program the page says how else to load a file.
    shell.platform.dialogsInstalled = false;
    shell.click(380, 88);
    EXPECT_TRUE(shell.platform.fileDialogs.empty());
    EXPECT_TRUE(shell.showing(updatetexts::kNoFileDialog));
    shell.platform.dialogsInstalled = true;
    shell.platform.fileAnswers.push_back(shell.makeFile(4));
    shell.click(380, 88);
    ASSERT_EQ(shell.platform.fileDialogs.size(), 1u);
    EXPECT_EQ(shell.platform.fileDialogs[0].title, "Open File");
    EXPECT_EQ(shell.platform.fileDialogs[0].filters[0].first, "qfu (*.qfu)");
    ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5; }));
    AEffEditor::ERect* rect = nullptr;
    EXPECT_TRUE(editor->GetRect(&rect));
    EXPECT_EQ(rect->right, 480);
    EXPECT_EQ(rect->bottom, 240);
}

namespace {

std::vector<uint8_t> imageOf(Shell& shell, size_t device = 0) {
    std::vector<uint8_t> image;
    shell.hid->withDevice(device, [&](const SimulatedDevice& d) { image = d.image(); });
    return image;
}

size_t blockStarts(Shell& shell, uint16_t block) {
    size_t count = 0;
    shell.hid->withDevice(0, [&](const SimulatedDevice& d) {
        for (const auto& request : d.requests())
            count += request.command == CMD_BLOCK_START && request.blockIndex == block;
    });
    return count;
}

} // namespace

TEST(Shell, ButtonsHoldStillUntilTheRunShowsItsResult) {
    {
        // A command-line run: clicks on Open File and Close before and after its
        // start change nothing, and the window still closes itself at the end.
        Shell shell("latency=0");
        const std::string file = shell.makeFile(40);
        shell.open();
        ExitResult = 0;
        shell.main->startCommandLineUpdate(file, "vid_1209&pid_0001");
        shell.click(380, 88);
        shell.click(440, 30);
        ASSERT_TRUE(shell.until([&] { return shell.page()->worker().commandLineMode(); }));
        shell.click(380, 88);
        shell.click(440, 30);
        shell.platform.pump();
        EXPECT_TRUE(shell.platform.fileDialogs.empty());
        ASSERT_TRUE(shell.until([&] { return shell.main->closed(); }));
        EXPECT_EQ(ExitResult.load(), 1);
        EXPECT_EQ(imageOf(shell), qfu::randomImage(40 * 256, 7));
    }
    {
        // Between a press on Update and the run's start no button reacts.
        Shell shell("latency=0,restart=0");
        shell.open();
        shell.drop({shell.makeFile(20)});
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5; }));
        shell.click(380, 118); // Update
        shell.click(380, 88);  // Open File
        shell.click(380, 118); // Update again
        shell.click(440, 30);  // Close
        shell.platform.pump();
        EXPECT_FALSE(shell.main->closed());
        EXPECT_TRUE(shell.platform.fileDialogs.empty());
        ASSERT_TRUE(shell.until([&] { return shell.showing(updatetexts::kUpdateSuccessful); }));
        EXPECT_EQ(blockStarts(shell, 0), 1u); // one run
        shell.click(440, 30); // with the result shown, Close closes
        shell.platform.pump();
        EXPECT_TRUE(shell.main->closed());
    }
}

TEST(Shell, AWindowCloseDuringAnUpdateWaitsForItsEnd) {
    Shell shell("latency=1,restart=0");
    shell.open();
    shell.drop({shell.makeFile(60)});
    ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5; }));
    shell.click(380, 118);
    ASSERT_TRUE(shell.until([&] { return shell.page()->worker().progress() >= 30; }));
    shell.platform.postClose(shell.window()); // the window manager's close
    shell.platform.pump();
    ASSERT_FALSE(shell.main->closed());
    EXPECT_TRUE(shell.showing(updatetexts::kClosingAfterUpdate));
    EXPECT_TRUE(shell.showing("Please don't interrupt or unplug the device."));
    ASSERT_TRUE(shell.until([&] { return shell.main->closed(); }, 30000));
    EXPECT_EQ(imageOf(shell), qfu::randomImage(60 * 256, 7)); // the whole image
}

TEST(Shell, TheFileDialogLeavesTheWindowRunningButTakesItsInput) {
    Shell shell("latency=0,restart=0");
    shell.platform.answerDialogsAtPump = false;
    shell.open();
    shell.drop({shell.makeFile(4)});
    ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5; }));
    shell.click(380, 88);
    ASSERT_TRUE(shell.platform.fileDialogOpen());
    // No input reaches the page meanwhile, but its timers run: it follows the device.
    shell.click(380, 118);
    shell.drop({shell.makeFile(4, {7, 0, 0})});
    shell.hid->unplug(0);
    ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 3; }));
    EXPECT_EQ(shell.page()->worker().workerState(), WORKER_POLL); // Update did nothing
    EXPECT_EQ(blockStarts(shell, 0), 0u);
    EXPECT_EQ(shell.page()->worker().updater().header().version().major, 1);
    // Cancelled: the loaded file stays.
    ASSERT_TRUE(shell.platform.answerFileDialog(std::nullopt));
    shell.platform.pump();
    EXPECT_EQ(shell.page()->lines()[0], "Firmware update ready (Version: 1.1.00)");
    // Chosen: loaded, and the page takes input again.
    shell.click(380, 88);
    ASSERT_TRUE(shell.platform.answerFileDialog(shell.makeFile(4, {2, 0, 0})));
    ASSERT_TRUE(shell.until([&] { return shell.showing("Firmware update ready (Version: 2.0.00)"); }));
    EXPECT_EQ(shell.platform.fileDialogs.size(), 2u);
}
