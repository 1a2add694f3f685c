#include "WindowProgram.h"

#include "CBackPage.h"
#include "CCEditor.h"
#include "CMainWindow.h"
#include "CommandLine.h"
#include "Framework.h"
#include "TerminalProgram.h"
#include "UiPlatform.h"

#include <mutex>

std::string bareFileArgument(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (!arg.empty() && arg[0] != '-')
            return arg;
    return std::string();
}

int runWindowProgram(const std::string& commandLine, const std::vector<std::string>& args,
                     const ShellDependencies& dependencies, SettingsStore* settings) {
    if (args.empty() && uiPlatform().activateRunningInstance(CMainWindow::kClassName))
        return 1;
    startFramework();
    ExitResult = 0;
    CMainWindow main(dependencies, settings);
    if (!main.create())
        return 0;
    const UpdateOptions options = parseUpdateOptions(commandLine);
    if (options.complete())
        main.startCommandLineUpdate(*options.path, *options.identity);
    else if (const std::string file = bareFileArgument(args); !file.empty())
        main.dropFiles({file});
    uiPlatform().runEventLoop();
    return ExitResult != 0 ? 0 : 1;
}
