#include "ProgramArguments.h"

#include "FileAccess.h"
#include "HidSystem.h"
#include "SignaturePolicy.h"
#include "SimulatedHid.h"
#include "TerminalText.h"
#include "TextNumbers.h"

#include <ostream>

namespace {

// "--name VALUE" or "--name=VALUE"; true when arg is the option (value may be missing).
bool valueOption(const std::vector<std::string>& args, size_t& i, const std::string& name,
                 std::optional<std::string>& value) {
    const std::string& arg = args[i];
    if (arg.rfind(name + "=", 0) == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (arg != name)
        return false;
    if (i + 1 < args.size())
        value = args[++i];
    return true;
}

} // namespace

ProgramArguments parseProgramArguments(const std::vector<std::string>& args) {
    ProgramArguments parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::optional<std::string> value;
        if (valueOption(args, i, "--device", value) || valueOption(args, i, "--log", value) ||
            valueOption(args, i, "--udev-rule", value) ||
            valueOption(args, i, "--restart-window", value) ||
            valueOption(args, i, "--trusted-key", value) || valueOption(args, i, "--signature", value)) {
            const std::string name = arg.substr(0, arg.find('='));
            if (!value || value->empty()) {
                parsed.usageError = name + " needs a value";
                continue;
            }
            if (name == "--device")
                parsed.devicePath = *value;
            else if (name == "--log")
                parsed.logPath = *value;
            else if (name == "--trusted-key")
                parsed.trustedKeys.push_back(*value);
            else if (name == "--signature")
                parsed.signaturePath = *value;
            else if (name == "--restart-window") {
                uint64_t seconds = 0;
                if (!parseUnsignedText(*value, 10, 3600, seconds))
                    parsed.usageError = "--restart-window needs whole seconds from 0 to 3600";
                parsed.restartWindowSeconds = static_cast<int>(seconds);
            }
            else
                parsed.udevRule = *value;
        } else if (arg == "--require-signature") {
            parsed.requireSignature = true;
        } else if (arg == "--json") {
            parsed.json = true;
        } else if (arg == "--list") {
            parsed.list = true;
        } else if (arg == "--watch") {
            parsed.watch = true;
        } else if (arg == "--force") {
            parsed.force = true;
        } else if (arg == "--help" || arg == "-h" || arg == "/?") {
            parsed.help = true;
        } else if (arg == "--version") {
            parsed.version = true;
        } else if (arg == "--terminal") {
            parsed.terminal = true;
        } else if (arg == "--simulate" || arg.rfind("--simulate=", 0) == 0) {
            parsed.simulate = true;
            parsed.simulatedDevices.clear();
            if (!SimulatedDeviceConfig::parseList(arg.size() > 10 ? arg.substr(11) : "",
                                                  parsed.simulatedDevices, parsed.error))
                return parsed;
        } else if (arg.rfind("--", 0) == 0 && parsed.unknownOption.empty()) {
            // A mistyped option must not be a silent no-op (it may have been meant to
            // restrict what gets flashed).
            parsed.unknownOption = arg.substr(0, arg.find('='));
        } else if (!arg.empty() && arg[0] != '-' && parsed.bareFile.empty()) {
            parsed.bareFile = arg;
        }
    }
    if (parsed.usageError.empty() && !parsed.watch &&
        (parsed.force || !parsed.logPath.empty() || parsed.restartWindowSeconds))
        parsed.usageError = std::string(parsed.force              ? "--force"
                                        : !parsed.logPath.empty() ? "--log"
                                                                  : "--restart-window") +
                            " belongs to --watch";
    return parsed;
}

std::shared_ptr<HidSystem> hidSystemFor(const ProgramArguments& arguments) {
    if (arguments.simulate)
        return std::make_shared<SimulatedHidSystem>(arguments.simulatedDevices);
    return createPlatformHidSystem();
}

std::shared_ptr<SignaturePolicy> signaturePolicyFor(const ProgramArguments& arguments,
                                                   const std::string& updatePath) {
    auto policy = std::make_shared<SignaturePolicy>();
    for (const std::string& folder : trustedKeyFolders())
        policy->addKeyFolder(folder);
    for (const std::string& key : arguments.trustedKeys)
        policy->addKeyFile(key);
    if (arguments.requireSignature)
        policy->requireSignature();
    if (!arguments.signaturePath.empty() && !updatePath.empty())
        policy->setSignatureFile(updatePath, arguments.signaturePath);
    return policy;
}

void reportKeyProblems(const SignaturePolicy& policy, std::ostream& err) {
    for (const std::string& problem : policy.problems())
        err << "quorix-updater: trusted key " << terminalSafe(problem)
            << "; ignored (update files still need a trusted signature)\n";
    err.flush();
}
