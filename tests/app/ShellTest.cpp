// The shell over the headless platform: every scenario of ShellScenarios.cpp in
// memory, and what only the headless platform can stage (a close inside the move
// loop, other instances, the work area's edges, the shell's answers).
#include "ShellRig.h"
#include "ShellScenarios.h"

#include "../support/HeadlessShellDriver.h"

#include "CommandTags.h"
#include "ProgramStart.h"
#include "UpdateTexts.h"
#include "WindowProgram.h"

#include <gtest/gtest.h>

INSTANTIATE_TEST_SUITE_P(Headless, ShellScenario,
                         ::testing::Values(ShellDriverKind{
                             "InMemory",
                             [](std::string&) -> std::unique_ptr<ShellDriver> {
                                 return std::make_unique<HeadlessShellDriver>();
                             }}),
                         shellDriverName);

namespace {

struct OwnDriver {
    HeadlessShellDriver own;
};

// A shell with its own headless driver, whose platform the test stages.
struct HeadlessShell : OwnDriver, Shell {
    explicit HeadlessShell(const std::string& deviceConfig = "")
        : Shell(own, deviceConfig), headless(*own.memory()) {}
    HeadlessWindow* topLevel() const { return static_cast<HeadlessWindow*>(window()); }
    HeadlessSettings& savedValues() { return own.savedValues(); }
    HeadlessPlatform& headless;
};

} // namespace

TEST(Shell, CloseDuringAWindowDragWaitsForThePress) {
    HeadlessShell shell;
    shell.open();
    bool aliveDuringDrag = false;
    shell.headless.duringDrag = [&] {
        // The move loop runs events: a close arrives while the press is handled.
        shell.headless.postClose(shell.window());
        shell.headless.pump();
        aliveDuringDrag = !shell.main->closed();
    };
    shell.mouse(WindowEvent::Button::LeftDown, 200, 30); // empty area: a drag
    EXPECT_TRUE(aliveDuringDrag);
    shell.headless.pump();
    EXPECT_TRUE(shell.main->closed());
}

TEST(Shell, SingleInstanceAndSavedPlaces) {
    {
        HeadlessShell shell;
        shell.headless.runningInstances = {CMainWindow::kClassName};
        EXPECT_EQ(runWindowProgram("", {}, shell.dependencies, &shell.savedValues()), 1);
        EXPECT_EQ(shell.headless.activated.size(), 1u);
        EXPECT_EQ(shell.headless.lastWindow(), nullptr); // nothing was made
    }
    {
        // With arguments a second instance starts even while one runs; its
        // command-line run ends with the exit code of the update.
        HeadlessShell shell("latency=0");
        shell.headless.runningInstances = {CMainWindow::kClassName};
        const std::string file = shell.makeFile(10);
        const std::string line = "-path:\"" + file + "\" -id:\"vid_1209&pid_0001\"";
        EXPECT_EQ(runWindowProgram(line, {"-path:" + file, "-id:vid_1209&pid_0001"},
                                   shell.dependencies, &shell.savedValues()),
                  0);
        EXPECT_TRUE(shell.headless.activated.empty());
        EXPECT_TRUE(shell.headless.lastWindow() && shell.headless.lastWindow()->destroyed);
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
        HeadlessShell shell;
        shell.savedValues().values[CMainWindow::kPositionValue] =
            packWindowPosition(p.savedLeft, p.savedTop);
        shell.open();
        EXPECT_EQ(shell.topLevel()->x, p.left) << p.savedLeft << "," << p.savedTop;
        EXPECT_EQ(shell.topLevel()->y, p.top) << p.savedLeft << "," << p.savedTop;
    }
    EXPECT_EQ(bareFileArgument({"--simulate", "/tmp/a.qfu"}), "/tmp/a.qfu");
    EXPECT_EQ(bareFileArgument({"-path:x", "-id:y"}), "");
    EXPECT_EQ(bareFileArgument({"--trusted-key", "maker.pub", "--signature=s", "fw.qfu"}), "fw.qfu");
}

TEST(Shell, WithoutAnyFileDialogThePageSaysHowElseToLoad) {
    HeadlessShell shell;
    shell.headless.dialogsInstalled = false;
    shell.open();
    shell.click(380, 88); // Open File
    EXPECT_TRUE(shell.headless.fileDialogs.empty());
    EXPECT_TRUE(shell.showing(updatetexts::kNoFileDialog));
    shell.expectScreen("window_no_dialog"); // also what the real window shows
}

TEST(Shell, AFileWithoutItsDeviceWaitsForIt) {
    HeadlessShell shell("appear=600000"); // not plugged in yet
    shell.open();
    const std::vector<std::string> before = shell.page()->lines();
    shell.drop({shell.makeFile(100)});
    ASSERT_TRUE(shell.until([&] { return shell.page()->lines() != before; }));
    shell.expectScreen("window_waiting"); // also what an opened file shows with no device
}

TEST(Shell, EditorTranslatesKeysAndRunsCommands) {
    EXPECT_EQ(CCEditor::translateKey(101), uint32_t('5')); // keypad 5
    EXPECT_EQ(CCEditor::translateKey(96), uint32_t('0'));
    EXPECT_EQ(CCEditor::translateKey(53), 53u);
    EXPECT_EQ(CCEditor::translateKey(106), 106u); // keypad * is not a digit

    HeadlessShell shell;
    shell.headless.answerDialogsAtPump = true; // the scripted answers
    shell.open();
    CCEditor* editor = shell.main->editor();
    CCMsg site(MSG_VALUE_CHANGED, kTagWebSite, 1, 1.0f, nullptr);
    editor->handleManagerMessage(&site); // second integer 1: nothing
    EXPECT_TRUE(shell.headless.shellOpened.empty());
    site.second = 0;
    editor->handleManagerMessage(&site);
    EXPECT_EQ(shell.headless.shellOpened.size(), 1u);
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
    shell.headless.deliver(shell.editorWindow, keypad);
    EXPECT_EQ(probe->keys.back(), std::make_pair(int(MSG_KEY_DOWN), int('5')));
    // Without a dialog program the page says how else to load a file.
    shell.headless.dialogsInstalled = false;
    shell.click(380, 88);
    EXPECT_TRUE(shell.headless.fileDialogs.empty());
    EXPECT_TRUE(shell.showing(updatetexts::kNoFileDialog));
    shell.headless.dialogsInstalled = true;
    shell.headless.fileAnswers.push_back(shell.makeFile(4));
    shell.click(380, 88);
    ASSERT_EQ(shell.headless.fileDialogs.size(), 1u);
    EXPECT_EQ(shell.headless.fileDialogs[0].title, "Open File");
    EXPECT_EQ(shell.headless.fileDialogs[0].filters[0].first, "qfu (*.qfu)");
    ASSERT_TRUE(shell.until([&] { return shell.page()->lines().size() == 5; }));
    AEffEditor::ERect* rect = nullptr;
    EXPECT_TRUE(editor->GetRect(&rect));
    EXPECT_EQ(rect->right, 480);
    EXPECT_EQ(rect->bottom, 240);
}
