#pragma once

#include "CommandLine.h"
#include "ProgramArguments.h"
#include "WorkerClock.h"

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HidSystem;
class SignaturePolicy;

// terminal/: the updater for scripts and production lines, with no window.
//   TerminalProgram  the terminal run: options, the page's lines as text, interrupts
//   StartCauses      why a run could not start, in words a script can show
//   RunReporter      what a run tells: text lines, or JSON events (JsonLines)
//   DeviceListing    --list and --udev-rule; DeviceProbe asks one interface
//   FactoryWatch     --watch: every unit plugged, counted once, with its log
//   OneInterfaceHid  --device: the system's HID narrowed to one interface
// The start-up in app/ calls runTerminalProgram; nothing here knows the window.

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
    // The trusted keys the file is checked against (none: its signature is not
    // looked at).
    std::shared_ptr<const SignaturePolicy> signatures;
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
