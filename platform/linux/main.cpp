#include "CommandLine.h"
#include "Console.h"
#include "DeviceSearch.h"
#include "HidSystem.h"
#include "SettingsFile.h"
#include "ShellDependencies.h"
#include "SimulatedHid.h"
#include "TerminalProgram.h"
#include "WindowProgram.h"
#include "X11Platform.h"

#include <algorithm>
#include <iostream>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

// Started with standard descriptors closed (from some launchers), the X socket or
// a dialog's pipe would take their numbers and receive our messages.
void openStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) < 0)
            return;
}

void displayWentAway() {
    // No window any more: an update in progress still ends and closes the device.
    _exit(finishWithoutDisplay());
}

} // namespace

int main(int argc, char** argv) {
    openStandardDescriptors();
    ::signal(SIGCHLD, SIG_DFL); // dialog programs are waited for
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The shell has split and unquoted the arguments already.
    const std::string commandLine = quoteArguments(args);
    const ProgramArguments arguments = parseProgramArguments(args);
    const bool terminalWanted = std::find(args.begin(), args.end(), "--terminal") != args.end();
    if (arguments.help || arguments.version || !arguments.error.empty() || terminalWanted)
        return runTerminalProgram(commandLine, args, std::cout, std::cerr, stdoutIsTerminal());

    std::string error;
    std::unique_ptr<X11Platform> x11 = openX11Platform(error);
    if (!x11) {
        if (parseUpdateOptions(commandLine).complete())
            return runTerminalProgram(commandLine, args, std::cout, std::cerr, stdoutIsTerminal());
        std::cerr << "quorix-updater: the window needs a display (" << error << ").\n"
                  << "To update in a terminal: quorix-updater -path:\"FILE.qfu\" -id:\"vid_XXXX&pid_YYYY\"\n";
        return 1;
    }
    setUiPlatform(x11.get());
    setDisplayLostHandler(displayWentAway);
    SettingsFile settings(SettingsFile::defaultPath());
    ShellDependencies dependencies;
    if (arguments.simulate) {
        std::vector<SimulatedDeviceConfig> configs;
        SimulatedDeviceConfig::parseList(arguments.simulateConfig, configs, error);
        dependencies.hid = std::make_shared<SimulatedHidSystem>(configs);
    } else {
        dependencies.hid = createPlatformHidSystem();
    }
    const int code = runWindowProgram(commandLine, args, dependencies, &settings);
    closeOpenDeviceList();
    setUiPlatform(nullptr);
    return code;
}
