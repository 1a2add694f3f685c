#include "ProgramStart.h"

#include "CommandLine.h"
#include "DeviceSearch.h"
#include "HidSystem.h"
#include "ShellDependencies.h"
#include "TerminalProgram.h"
#include "UiPlatform.h"
#include "WindowProgram.h"

#include <ostream>

std::atomic<uint8_t> ExitResult{0};

int runProgram(const ProgramHost& host) {
    const ProgramArguments arguments = parseProgramArguments(host.args);
    auto terminalRun = [&] {
        return runTerminalProgram(host.commandLine, arguments, *host.out, *host.err, host.stdoutTerminal);
    };
    if (arguments.help || arguments.version || !arguments.error.empty() || arguments.terminal ||
        arguments.terminalOnly() || !arguments.usageError.empty() || !arguments.unknownOption.empty() ||
        !host.openWindowing)
        return terminalRun();

    std::string error;
    std::unique_ptr<UiPlatform> windowing = host.openWindowing(error);
    if (!windowing) {
        if (parseUpdateOptions(host.commandLine).complete())
            return terminalRun(); // a caller's update needs no window
        *host.err << "quorix-updater: the window needs a display (" << error << ").\n"
                  << "To update in a terminal: quorix-updater -path:\"FILE.qfu\" -id:\"vid_XXXX&pid_YYYY\"\n";
        return 1;
    }
    setUiPlatform(windowing.get());
    if (host.windowingStarted)
        host.windowingStarted();
    const std::unique_ptr<SettingsStore> settings = host.openSettings ? host.openSettings() : nullptr;
    ShellDependencies dependencies;
    dependencies.hid = hidSystemFor(arguments);
    const UpdateOptions options = parseUpdateOptions(host.commandLine);
    const auto signatures = signaturePolicyFor(arguments, options.path ? *options.path : arguments.bareFile);
    reportKeyProblems(*signatures, *host.err);
    dependencies.signatures = signatures;
    const int code = runWindowProgram(host.commandLine, host.args, dependencies, settings.get(), host.show);
    closeOpenDeviceList();
    setUiPlatform(nullptr);
    return code;
}
