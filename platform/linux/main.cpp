#include "CommandLine.h"
#include "Console.h"
#include "TerminalProgram.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The shell has split and unquoted the arguments already.
    return runTerminalProgram(quoteArguments(args), args, std::cout, std::cerr,
                              stdoutIsTerminal());
}
