#pragma once

#include "DeviceProbe.h"
#include "HidSystem.h"
#include "JsonLines.h"
#include "SignaturePolicy.h"
#include "UpdateFailure.h"

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

struct WorkerEvent;

// How a run ended, as the final line and the result event tell it.
struct RunOutcome {
    bool ok = false;
    int attempts = 0;
    double seconds = 0;
    std::string cause; // the last cause; empty when there was none
};

// The run's outcome from the worker's last event: the last attempt's cause, and
// why the device could not be used again when the retry window closed.
RunOutcome outcomeOf(const WorkerEvent& ended);

// Tells what update runs go through, beside the page's own lines. Causes always go
// to stderr ("quorix-updater: attempt 1 failed: device gone at block 3"); with JSON
// every event is also one JSON object on its own line of stdout, and nothing else
// goes there. In factory mode (Watch) there are several devices: every line and
// event names its device, and the devices' own lines go to stdout.
class RunReporter {
public:
    enum class Mode { Single, Watch };

    RunReporter(std::ostream& out, std::ostream& err, bool asJson, Mode mode);

    void waiting(const std::string& identity, const std::string& devicePath, int seconds);
    // What the update file's signature is: told once on stderr (when there is one,
    // or one was needed) and carried by every later device and result event.
    void signature(const SignatureCheck& check);
    // The unit's serial and port (when known) are told here and with every later
    // event of the same path.
    void device(const HidInterface& unit, const DeviceReport& report);
    // Only when the percentage moved, per device; a text line only every 10 %
    // (factory mode).
    void progress(const std::string& path, int percent, uint32_t block, uint32_t blocks);
    void attemptFailed(const std::string& path, int attempt, const UpdateFailure& failure);
    void retrying(const std::string& path, int attempt, int64_t msLeft, int windowMs);
    void result(const std::string& path, const RunOutcome& outcome);
    void skipped(const std::string& path, const std::string& firmware);
    void summary(int updated, int failed, int skipped);
    // A cause or a note on stderr, with the program's name in front.
    void note(const std::string& line);

private:
    std::string tag(const std::string& path) const;
    // "serial" and "location" of the path's unit, as JSON fields.
    void addUnit(nlohmann::ordered_json& event, const std::string& path) const;
    void emit(const std::string& jsonText);
    // A line for a person, its texts from files and devices made terminal-safe.
    static void writeLine(std::ostream& stream, const std::string& line);
    // A line for a person: on stdout in factory mode without JSON, else on stderr.
    void deviceLine(const std::string& line);

    std::ostream& out_;
    std::ostream& err_;
    const bool json_;
    const Mode mode_;
    std::map<std::string, int> lastPercent_; // per device
    std::map<std::string, HidInterface> units_;
    std::optional<nlohmann::ordered_json> signature_;
};
