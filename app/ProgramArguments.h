#pragma once

#include "SimulatedDeviceConfig.h"

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HidSystem;
class SignaturePolicy;

// The program's options as the start-up reads them, shared by the window and the
// terminal front end.

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
    // Signed update files: --trusted-key FILE (repeatable) adds to the installed
    // keys, --require-signature asks for a signature even with none installed,
    // --signature FILE is the signature of the file named on the command line.
    std::vector<std::string> trustedKeys;
    bool requireSignature = false;
    std::string signaturePath;
    std::string bareFile; // the first argument that is neither an option nor its value
    std::string usageError; // an option without its value, or out of place
    std::string unknownOption; // the first "--" token the program does not know
    bool terminalOnly() const { return json || list || watch || udevRule || !devicePath.empty(); }
};

// The program's own options (--help, --version, --terminal, --simulate[=...],
// --trusted-key, --require-signature, --signature, and --json, --list, --watch,
// --force, --device, --log, --restart-window, --udev-rule). Any other
// token starting with "--" is an unknown option; the rest is left to the -path:/-id: search.
ProgramArguments parseProgramArguments(const std::vector<std::string>& args);

// The devices the arguments ask for: the simulated ones, or the system's.
std::shared_ptr<HidSystem> hidSystemFor(const ProgramArguments& arguments);

// The trusted keys (the installed ones and --trusted-key's) and their rule; the
// signature of updatePath (the file named on the command line, if any) is read from
// --signature's file when one is given.
std::shared_ptr<SignaturePolicy> signaturePolicyFor(const ProgramArguments& arguments,
                                                   const std::string& updatePath);
// One line on err for each key file that could not be used.
void reportKeyProblems(const SignaturePolicy& policy, std::ostream& err);
