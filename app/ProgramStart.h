#pragma once

#include "ProgramArguments.h"
#include "UiPlatform.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HidSystem;
class SettingsStore;
class UiPlatform;

// Set by a command-line update: 1 after it succeeded. Decides the exit code.
extern std::atomic<uint8_t> ExitResult;

// What an entry point brings of its OS. Everything else about starting (help and
// version, the terminal or the window, the devices, the exit code) is decided by
// runProgram, the same on every OS.
struct ProgramHost {
    std::string commandLine;       // as the caller wrote it, quotes included
    std::vector<std::string> args; // without the program name
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    bool stdoutTerminal = false;
    // The window backend, or null with the reason when there is no display. Not
    // set: this build has no window, every run is a terminal run.
    std::function<std::unique_ptr<UiPlatform>(std::string& error)> openWindowing;
    // Right after the backend was installed (for example to learn that the
    // display went away).
    std::function<void()> windowingStarted;
    std::function<std::unique_ptr<SettingsStore>()> openSettings;
    ShowCommand show = ShowCommand::Normal; // how the start asks for the window
};

// The whole program; returns the exit code.
int runProgram(const ProgramHost& host);
