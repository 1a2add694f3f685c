#pragma once

#include "CommandLine.h"
#include "WorkerClock.h"

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HidSystem;

// Set by a command-line update: 1 after it succeeded. Decides the exit code.
extern std::atomic<uint8_t> ExitResult;

constexpr const char* kProgramVersion = "1.3.00";

struct ProgramArguments {
    bool help = false;
    bool version = false;
    bool simulate = false;
    std::string simulateConfig;
    std::string error; // a bad --simulate setting; empty when fine
};

// The program's own options (--help, --version, --simulate[=...]). Anything else
// is left to the -path:/-id: search and otherwise ignored.
ProgramArguments parseProgramArguments(const std::vector<std::string>& args);

// The whole program in a terminal: the command line as the OS gives it, the
// arguments without the program name. Returns the exit code.
int runTerminalProgram(const std::string& commandLine, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err, bool terminal);

// The command-line update itself, printing what the update page would show.
int runCommandLineUpdate(std::shared_ptr<HidSystem> hid, const UpdateOptions& options,
                         std::ostream& out, bool terminal,
                         std::shared_ptr<WorkerClock> clock = nullptr);

// A matching interface that exists but may not be opened, if there is one.
std::optional<std::string> findInaccessibleInterface(HidSystem& hid, const std::string& pattern);
