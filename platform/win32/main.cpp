#include "Console.h"
#include "TerminalProgram.h"

#include <windows.h>

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The options are searched in the command line exactly as the caller wrote it.
    return runTerminalProgram(GetCommandLineA(), args, std::cout, std::cerr, stdoutIsTerminal());
}
