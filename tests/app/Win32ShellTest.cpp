// The shell's scenarios over the Win32 backend: real windows and real messages, under
// Wine on the X server of the test run. And what only a real OS stages: the
// system's move loop running events while the press that started it is handled.
#include "ShellRig.h"
#include "ShellScenarios.h"

#include "../support/win32/Win32ShellDriver.h"

INSTANTIATE_TEST_SUITE_P(Win32, ShellScenario,
                         ::testing::Values(ShellDriverKind{
                             "RealWindows", [](std::string& whyNot) { return openWin32ShellDriver(whyNot); }}),
                         shellDriverName);

TEST(Win32Shell, ACloseDuringAWindowMoveWaitsForTheButtonsRelease) {
    std::string whyNot;
    std::unique_ptr<ShellDriver> driver = openWin32ShellDriver(whyNot);
    if (!driver)
        GTEST_SKIP() << whyNot;
    driver->run([&] {
        Shell shell(*driver);
        shell.open();
        // An empty spot: the system's move loop runs until the button is released.
        shell.mouse(WindowEvent::Button::LeftDown, 200, 30);
        EXPECT_EQ(driver->drags(), 1);
        EXPECT_EQ(driver->captured(), shell.window()) << "the move loop holds the mouse, not the editor";
        driver->close(shell.window());
        EXPECT_FALSE(shell.main->closed()) << "closed inside the press";
        shell.mouse(WindowEvent::Button::LeftUp, 200, 30);
        driver->pump();
        EXPECT_TRUE(shell.main->closed());
        EXPECT_TRUE(driver->gone(shell.editorWindow) && driver->gone(shell.window()));
    });
}
