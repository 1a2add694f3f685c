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

// How a command-line update tells what it does beyond the page's lines.
struct TerminalRunOptions {
    std::ostream* err = nullptr; // causes, retries and the final line; none: not told
    bool json = false;           // JSON events on out; the page's lines go to err
    std::string devicePath;      // only this interface (--device)
};

// The command-line update itself, printing what the update page would show.
int runCommandLineUpdate(std::shared_ptr<HidSystem> hid, const UpdateOptions& options,
                         std::ostream& out, bool terminal,
                         std::shared_ptr<WorkerClock> clock = nullptr,
                         const TerminalRunOptions& run = {});

// Factory mode (--watch): updates every matching device plugged until Ctrl-C;
// exit code 0 only when no update failed.
int runFactoryMode(std::shared_ptr<HidSystem> hid, const UpdateOptions& options,
                   const ProgramArguments& arguments, std::ostream& out, std::ostream& err,
                   std::shared_ptr<WorkerClock> clock = nullptr);

// A matching interface that exists but may not be opened, if there is one.
std::optional<std::string> findInaccessibleInterface(HidSystem& hid, const std::string& pattern);
