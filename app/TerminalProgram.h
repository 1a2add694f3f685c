#pragma once

#include "CommandLine.h"
#include "ProgramStart.h"
#include "WorkerClock.h"

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HidSystem;

// The whole program in a terminal: the command line as the OS gives it, the
// arguments without the program name (or as parsed). Returns the exit code.
int runTerminalProgram(const std::string& commandLine, const std::vector<std::string>& args,
                       std::ostream& out, std::ostream& err, bool terminal);
int runTerminalProgram(const std::string& commandLine, const ProgramArguments& arguments,
                       std::ostream& out, std::ostream& err, bool terminal);

// The command-line update itself, printing what the update page would show.
int runCommandLineUpdate(std::shared_ptr<HidSystem> hid, const UpdateOptions& options,
                         std::ostream& out, bool terminal,
                         std::shared_ptr<WorkerClock> clock = nullptr);

// A matching interface that exists but may not be opened, if there is one.
std::optional<std::string> findInaccessibleInterface(HidSystem& hid, const std::string& pattern);
