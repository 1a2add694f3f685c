#include "CCLineRenderer.h"
#include "CommandLine.h"
#include "PlatformConsole.h"
#include "ProgramStart.h"
#include "SettingsFile.h"
#include "WindowProgram.h"
#include "X11Platform.h"

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
    ProgramHost host;
    host.args.assign(argv + 1, argv + argc);
    host.commandLine = quoteArguments(host.args); // the shell split and unquoted them already
    host.out = &std::cout;
    host.err = &std::cerr;
    host.stdoutTerminal = stdoutIsTerminal();
    host.openWindowing = [](std::string& error) -> std::unique_ptr<UiPlatform> {
        static CCLineRenderer editText; // the edit popup's text, in the program's own fonts
        std::unique_ptr<X11Platform> platform = openX11Platform(error);
        if (platform)
            platform->setTextRenderer(&editText);
        return platform;
    };
    host.windowingStarted = [] { setDisplayLostHandler(displayWentAway); };
    host.openSettings = [] { return std::make_unique<SettingsFile>(SettingsFile::defaultPath()); };
    return runProgram(host);
}
