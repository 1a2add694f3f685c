// The window program from the user's side, once for every driver: in memory over
// the headless platform, and over an OS's real windows and messages.
#include "ShellScenarios.h"
#include "ShellRig.h"

#include "../support/FastWorkerClock.h"

#include "CCButtons.h"
#include "CCValueDisplays.h"
#include "HeadlessPlatform.h"
#include "ProgramStart.h"
#include "SimulatedHid.h"
#include "UpdateTexts.h"

#include <utility>

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

// What only the headless platform records of a freshly opened window.
void expectHeadlessWindow(HeadlessPlatform& memory, Shell& shell) {
    auto* window = static_cast<HeadlessWindow*>(shell.window());
    auto* child = static_cast<HeadlessWindow*>(shell.editorWindow);
    EXPECT_TRUE(window->shown);
    EXPECT_EQ(window->request.title, "Quorix Firmware Updater");
    // Only the editor's timers keep the one-shot rule; it owns the page's timers.
    EXPECT_TRUE(child->request.oneShotTimers && !window->request.oneShotTimers);
    EXPECT_EQ(memory.timerInterval(child, CCEditor::kPageTimer), 50u);
    EXPECT_EQ(memory.timerInterval(child, CCEditor::kFrameTimer), 20u);
    EXPECT_EQ(memory.timerInterval(window, CMainWindow::kForegroundTimer), 200u);
    EXPECT_EQ(memory.timerInterval(window, CCEditor::kPageTimer), 0u);
    EXPECT_TRUE(window->hole[0]); // the rounded corners let the desktop through
    EXPECT_FALSE(window->hole[240 * 120 + 240]);
}

} // namespace

TEST_P(ShellScenario, AnInteractiveUpdateFromDropToClose) {
    driver->run([&] {
        // 100 blocks; the device stays silent once at block 36, so the bar rests at 37 %.
        // It restarts without going away, so the result stays on the page.
        Shell shell(*driver, "block=256,silent-at=36,once,latency=0,restart=0");
        shell.open();
        PlatformWindow* window = shell.window();
        PlatformWindow* child = shell.editorWindow;
        ASSERT_TRUE(window && child);
        UiPlatform& os = driver->platform();
        EXPECT_EQ(driver->className(window), "Quorix-Firmware-Main-C7WK0-3HYR7");
        // The editor's child window covers the main window.
        EXPECT_EQ(driver->className(child), "TVL-VST-001");
        int width = 0, height = 0, left = 0, top = 0;
        os.windowSize(child, width, height);
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(480, 240));
        os.screenSize(width, height);
        os.windowPosition(window, left, top);
        EXPECT_EQ(std::make_pair(left, top), std::make_pair(width / 2 - 240, height / 2 - 120)); // no saved place
        if (HeadlessPlatform* memory = driver->memory()) {
            expectHeadlessWindow(*memory, shell);
        }
        EXPECT_EQ(shell.page()->lines(), updatetexts::startLines());
        shell.expectScreen("window_start");

        shell.drop({shell.makeFile(100), shell.dir.file("second-is-ignored.qfu")});
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5 && shell.settled(); }));
        EXPECT_TRUE(shell.page()->updateButton()->enabled());
        EXPECT_EQ(shell.page()->lines()[4], "Ready to update");
        shell.expectScreen("window_device");

        // The update button: the press is claimed, so the window captures the mouse.
        shell.mouse(WindowEvent::Button::LeftDown, 380, 118);
        EXPECT_EQ(driver->captured(), child);
        EXPECT_EQ(driver->focused(), child);
        EXPECT_EQ(driver->drags(), 0);
        shell.mouse(WindowEvent::Button::LeftUp, 380, 118);
        EXPECT_EQ(driver->captured(), nullptr);
        ASSERT_TRUE(shell.until([&] { return shell.page()->worker().progress() == 37; }));
        ASSERT_TRUE(shell.until([&] { return shell.page()->progressBar()->value() == 37 && shell.settled(); }));
        EXPECT_FALSE(shell.page()->updateButton()->enabled());
        EXPECT_FALSE(shell.page()->closeButton()->enabled());
        shell.expectScreen("window_progress");
        // A file dropped now is refused; the update goes on.
        shell.drop({shell.makeFile(3, {9, 9, 9})});
        EXPECT_TRUE(shell.showing(updatetexts::kDropRefused));

        ASSERT_TRUE(shell.until([&] { return shell.showing(updatetexts::kUpdateSuccessful) && shell.settled(); }));
        EXPECT_EQ(shell.page()->worker().updater().header().version().major,
                  1); // not the dropped 9.9.9
        shell.expectScreen("window_result");

        // An empty spot drags the window instead.
        shell.click(200, 30);
        EXPECT_EQ(driver->drags(), 1);
        shell.click(440, 30); // the close button
        driver->pump();
        EXPECT_TRUE(shell.main->closed());
        EXPECT_TRUE(driver->quitPosted());
        EXPECT_TRUE(driver->gone(child) && driver->gone(window));
        uint32_t packed = 0;
        EXPECT_TRUE(driver->settings().readDword(CMainWindow::kPositionValue, packed));
        EXPECT_EQ(packed, packWindowPosition(left, top));
    });
}

TEST_P(ShellScenario, FadesOnTheirOwnThreadPresentOnlyThroughTheWindowThread) {
    driver->run([&] {
        Shell shell(*driver);
        shell.dependencies.fadeClock = nullptr;
        shell.dependencies.fadeThread = true; // the real fade thread, in real time
        shell.open();
        shell.drop({shell.makeFile(4)});
        // The device's arrival fades the update button in.
        ASSERT_TRUE(shell.until(
            [&] { return shell.page()->lines().size() == 5 && shell.main->editor()->animator().entryCount() == 0; }));
        driver->pump(); // the last step's present
        if (HeadlessPlatform* memory = driver->memory()) {
            EXPECT_EQ(memory->presentsOffThread.load(), 0);
        }
        shell.expectScreen("window_device");
    });
}

TEST_P(ShellScenario, CommandLineRunClosesTheWindowWithItsResult) {
    struct Case {
        const char* device;
        bool ok;
    } cases[] = {{"latency=0", true}, {"latency=0,nak-at=1", false}};
    for (const Case& c : cases)
        driver->run([&] {
            Shell shell(*driver, c.device);
            shell.dependencies.clock = std::make_shared<FastWorkerClock>(20); // the 15 s of retries
            const std::string file = shell.makeFile(20);
            shell.open();
            ExitResult = 0;
            shell.main->startCommandLineUpdate(file, "vid_1209&pid_0001");
            EXPECT_EQ(shell.page()->lines(), updatetexts::commandLineStartLines());
            ASSERT_TRUE(shell.until([&] { return shell.main->closed(); }, 30000)) << c.device;
            EXPECT_EQ(ExitResult != 0, c.ok) << c.device;
            EXPECT_TRUE(driver->quitPosted()) << c.device;
        });
}

TEST_P(ShellScenario, ButtonsHoldStillUntilTheRunShowsItsResult) {
    driver->run([&] {
        // A command-line run: clicks on Open File and Close before and after its
        // start change nothing, and the window still closes itself at the end.
        Shell shell(*driver, "latency=0");
        const std::string file = shell.makeFile(40);
        shell.open();
        ExitResult = 0;
        shell.main->startCommandLineUpdate(file, "vid_1209&pid_0001");
        shell.click(380, 88);
        shell.click(440, 30);
        ASSERT_TRUE(shell.until([&] { return shell.page()->worker().commandLineMode(); }));
        shell.click(380, 88);
        shell.click(440, 30);
        driver->pump();
        EXPECT_TRUE(driver->fileDialogs().empty());
        ASSERT_TRUE(shell.until([&] { return shell.main->closed(); }));
        EXPECT_EQ(ExitResult.load(), 1);
        EXPECT_EQ(imageOf(shell), qfu::randomImage(40 * 256, 7));
    });
    driver->run([&] {
        // Between a press on Update and the run's start no button reacts.
        Shell shell(*driver, "latency=0,restart=0");
        shell.open();
        shell.drop({shell.makeFile(20)});
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5; }));
        shell.click(380, 118); // Update
        shell.click(380, 88);  // Open File
        shell.click(380, 118); // Update again
        shell.click(440, 30);  // Close
        driver->pump();
        EXPECT_FALSE(shell.main->closed());
        EXPECT_TRUE(driver->fileDialogs().empty());
        ASSERT_TRUE(shell.until([&] { return shell.showing(updatetexts::kUpdateSuccessful); }));
        EXPECT_EQ(blockStarts(shell, 0), 1u); // one run
        shell.click(440, 30);                 // with the result shown, Close closes
        driver->pump();
        EXPECT_TRUE(shell.main->closed());
    });
}

TEST_P(ShellScenario, AWindowCloseDuringAnUpdateWaitsForItsEnd) {
    driver->run([&] {
        Shell shell(*driver, "latency=1,restart=0");
        shell.open();
        shell.drop({shell.makeFile(60)});
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5; }));
        shell.click(380, 118);
        ASSERT_TRUE(shell.until([&] { return shell.page()->worker().progress() >= 30; }));
        driver->close(shell.window()); // the window manager's close
        driver->pump();
        ASSERT_FALSE(shell.main->closed());
        EXPECT_TRUE(shell.showing(updatetexts::kClosingAfterUpdate));
        EXPECT_TRUE(shell.showing("Please don't interrupt or unplug the device."));
        ASSERT_TRUE(shell.until([&] { return shell.main->closed(); }, 30000));
        EXPECT_EQ(imageOf(shell), qfu::randomImage(60 * 256, 7)); // the whole image
    });
}

// Names outside any one code page: the file is reached by drop and by the dialog.
TEST_P(ShellScenario, FilesNamedInAnyLanguageLoadByDropAndByTheDialog) {
    driver->run([&] {
        Shell shell(*driver, "latency=0,restart=0");
        shell.open();
        const std::vector<std::string> names = {"\u043f\u0440\u043e\u0448\u0438\u0432\u043a\u0430.qfu",
                                                "\u56fa\u4ef6.qfu", "fw\u20131.qfu"};
        uint8_t major = 2;
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            shell.drop({shell.makeFile(4, {major, 0, 0}, "drop-" + name)});
            const std::string dropped = "Firmware update ready (Version: " + std::to_string(major++) + ".0.00)";
            EXPECT_TRUE(shell.until([&] { return shell.showing(dropped); }));
            shell.click(380, 88);
            ASSERT_TRUE(shell.until([&] { return driver->fileDialogOpen(); }));
            ASSERT_TRUE(driver->answerFileDialog(shell.makeFile(4, {major, 0, 0}, "chosen-" + name)));
            const std::string chosen = "Firmware update ready (Version: " + std::to_string(major++) + ".0.00)";
            EXPECT_TRUE(shell.until([&] { return shell.showing(chosen); }));
        }
    });
}

TEST_P(ShellScenario, TheFileDialogLeavesTheWindowRunningButTakesItsInput) {
    driver->run([&] {
        Shell shell(*driver, "latency=0,restart=0");
        shell.open();
        shell.drop({shell.makeFile(4)});
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5; }));
        shell.click(380, 88);
        ASSERT_TRUE(shell.until([&] { return driver->fileDialogOpen(); }));
        // No input reaches the page meanwhile, but its timers run: it follows the device.
        shell.click(380, 118);
        shell.drop({shell.makeFile(4, {7, 0, 0})});
        shell.hid->unplug(0);
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 3; }));
        EXPECT_EQ(shell.page()->worker().workerState(), WORKER_POLL); // Update did nothing
        EXPECT_EQ(blockStarts(shell, 0), 0u);
        EXPECT_EQ(shell.page()->worker().updater().header().version().major, 1);
        // Cancelled: the loaded file stays.
        ASSERT_TRUE(driver->answerFileDialog(std::nullopt));
        driver->pump();
        EXPECT_EQ(shell.page()->lines()[0], "Firmware update ready (Version: 1.1.00)");
        // Chosen: loaded, and the page takes input again.
        shell.click(380, 88);
        ASSERT_TRUE(shell.until([&] { return driver->fileDialogOpen(); }));
        ASSERT_TRUE(driver->answerFileDialog(shell.makeFile(4, {2, 0, 0})));
        ASSERT_TRUE(shell.until([&] { return shell.showing("Firmware update ready (Version: 2.0.00)"); }));
        const std::vector<ShellDriver::FileDialogShown> shown = driver->fileDialogs();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0].title, "Open File");
        EXPECT_EQ(shown[0].firstFilter, "qfu (*.qfu)");
    });
}

TEST_P(ShellScenario, WithATrustedKeyOnlyFilesItSignedLoad) {
    driver->run([&] {
        // minisign's own files: an update of 4 blocks, its signature, the maker's key.
        const std::string data = QUORIX_SIGNATURE_DATA;
        auto policy = std::make_shared<SignaturePolicy>();
        ASSERT_TRUE(policy->addKeyFile(data + "/maker.pub"));
        Shell shell(*driver, "block=256,latency=0,restart=0");
        shell.dependencies.signatures = policy;
        shell.open();
        const std::vector<uint8_t> signedFile = TempDir::read(data + "/fw.qfu");
        const std::vector<uint8_t> signature = TempDir::read(data + "/fw.qfu.minisig");

        // Unsigned: refused with one line under the start lines.
        shell.drop({shell.dir.write("unsigned.qfu", signedFile)});
        std::vector<std::string> refused = updatetexts::startLines();
        refused.push_back(updatetexts::kNotSignedByTrustedKey);
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines() == refused && shell.settled(); }));
        EXPECT_FALSE(shell.page()->worker().updater().fileLoaded());
        shell.expectScreen("window_unsigned");

        // Signed by the trusted key: loads, and Update writes exactly it.
        shell.dir.write("fw.qfu.minisig", signature);
        shell.drop({shell.dir.write("fw.qfu", signedFile)});
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5 && shell.settled(); }));
        shell.click(380, 118);
        ASSERT_TRUE(shell.until([&] { return shell.showing(updatetexts::kUpdateSuccessful); }));
        EXPECT_EQ(imageOf(shell), std::vector<uint8_t>(signedFile.begin() + FirmwareHeader::kSize,
                                                       signedFile.end()));

        // The same signature beside a changed file: refused, and the file before is gone.
        std::vector<uint8_t> changed = signedFile;
        changed.back() ^= 0x01;
        qfu::seal(changed);
        shell.dir.write("changed.qfu.minisig", signature);
        shell.drop({shell.dir.write("changed.qfu", changed)});
        refused.back() = updatetexts::kSignatureMismatch;
        ASSERT_TRUE(shell.until([&] { return shell.page()->lines() == refused; }));
        EXPECT_FALSE(shell.page()->worker().updater().fileLoaded());
        EXPECT_FALSE(shell.page()->updateButton()->enabled());
    });
}
