#pragma once

#include "SimulatedDeviceConfig.h"
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

constexpr const char* kProgramVersion = "1.3.00";

struct ProgramArguments {
    bool help = false;
    bool version = false;
    bool terminal = false; // --terminal: no window even where a display is
    bool simulate = false;
    std::vector<SimulatedDeviceConfig> simulatedDevices; // parsed once, here
    std::string error; // a bad --simulate setting; empty when fine

    // For scripts and production lines; each means a terminal run.
    bool json = false;      // --json: one JSON object per line on stdout
    bool list = false;      // --list: the HID interfaces present
    bool watch = false;     // --watch: update every matching device plugged
    bool force = false;     // --watch --force: also devices at the file's version
    std::string devicePath; // --device PATH: only this interface
    std::string logPath;    // --watch --log PATH: one JSON line per device, appended
    // --watch --restart-window SECONDS: how long a unit may take to come back after
    // its update and still be that unit restarting (none given: the default).
    std::optional<int> restartWindowSeconds;
    std::optional<std::string> udevRule; // --udev-rule "vid_XXXX&pid_YYYY"
    std::string usageError; // an option without its value, or out of place
    std::string unknownOption; // the first "--" token the program does not know
    bool terminalOnly() const { return json || list || watch || udevRule || !devicePath.empty(); }
};

// The program's own options (--help, --version, --terminal, --simulate[=...], and
// --json, --list, --watch, --force, --device, --log, --restart-window, --udev-rule). Any other
// token starting with "--" is an unknown option; the rest is left to the -path:/-id: search.
ProgramArguments parseProgramArguments(const std::vector<std::string>& args);

// The devices the arguments ask for: the simulated ones, or the system's.
std::shared_ptr<HidSystem> hidSystemFor(const ProgramArguments& arguments);

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
