#include "WindowProgram.h"

#include "CBackPage.h"
#include "CCEditor.h"
#include "CMainWindow.h"
#include "CommandLine.h"
#include "Framework.h"
#include "ProgramStart.h"
#include "UiPlatform.h"

#include <mutex>

namespace {

// The window of the running program, for finishWithoutDisplay (UI thread only).
CMainWindow* runningWindow = nullptr;

// An update writes a few hundred kilobytes at most; a quarter of an hour is plenty.
constexpr int kFinishLimitMs = 15 * 60 * 1000;

} // namespace

int finishWithoutDisplay() {
    if (runningWindow)
        if (CBackPage* page = runningWindow->page())
            page->worker().finishAndClose(kFinishLimitMs);
    return ExitResult != 0 ? 0 : 1;
}

std::string bareFileArgument(const std::vector<std::string>& args) {
    return parseProgramArguments(args).bareFile; // an option's value is no file
}

int runWindowProgram(const std::string& commandLine, const std::vector<std::string>& args,
                     const ShellDependencies& dependencies, SettingsStore* settings, ShowCommand show) {
    if (args.empty() && uiPlatform().activateRunningInstance(CMainWindow::kClassName))
        return 1;
    startFramework();
    ExitResult = 0;
    CMainWindow main(dependencies, settings);
    if (!main.create(show))
        return 1; // no window, nothing updated: a failure, whatever was asked
    runningWindow = &main;
    const UpdateOptions options = parseUpdateOptions(commandLine);
    if (options.complete())
        main.startCommandLineUpdate(*options.path, *options.identity);
    else if (const std::string file = bareFileArgument(args); !file.empty())
        main.dropFiles({file});
    uiPlatform().runEventLoop();
    runningWindow = nullptr;
    return ExitResult != 0 ? 0 : 1;
}
