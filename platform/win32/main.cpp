#include "PlatformConsole.h"
#include "ProgramStart.h"

#include <windows.h>

#include <iostream>

int main(int argc, char** argv) {
    ProgramHost host;
    host.args.assign(argv + 1, argv + argc);
    // The options are searched in the command line exactly as the caller wrote it.
    host.commandLine = GetCommandLineA();
    host.out = &std::cout;
    host.err = &std::cerr;
    host.stdoutTerminal = stdoutIsTerminal();
    return runProgram(host);
}
