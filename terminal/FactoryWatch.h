#pragma once

#include "DeviceProbe.h"
#include "FirmwareVersion.h"
#include "HidSystem.h"
#include "RunReporter.h"
#include "WorkerClock.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CUpdateWorker;
class HidSystem;

struct WatchSettings {
    std::string filePath;
    std::string identity;
    bool force = false;   // also units that report the file's version
    std::string logPath;  // empty: no log
    // A unit back this soon after its successful update, reporting the file's
    // version, is that unit restarting: not updated again, not counted again.
    int restartWindowMs = 60000;
    size_t maxDevices = 64; // at once; more wait until one is done
    // The trusted keys the file is checked against once, at the start (none: its
    // signature is not looked at).
    std::shared_ptr<const SignaturePolicy> signatures;
};

struct WatchSummary {
    int updated = 0;
    int failed = 0;
    int skipped = 0;
    bool logFailed = false; // a line of the production record could not be written
    // 0 only when every unit counted went well and the record is whole.
    int exitCode(bool aborted) const { return failed == 0 && !logFailed && !aborted ? 0 : 1; }
};

// Factory mode: waits for units with the identity's IDs and updates each one as it
// is plugged, several at once, one worker per unit. A unit is its serial number, or
// without one its port (or its path where the system names neither); its interfaces
// share one worker, and the one that answers the information request is the
// unit's. The file is read and checked once, at the start, and that copy goes to
// every unit. Each unit is updated at most once per plug and counted once, by its
// last outcome: one that reports the file's version is skipped (unless forced);
// one that comes back after its update with the file's version is that unit
// restarting; one that failed is tried again when plugged again. Main thread only;
// call step() about every 50 ms.
class FactoryWatch {
public:
    FactoryWatch(std::shared_ptr<HidSystem> hid, WatchSettings settings, RunReporter& reporter,
                 std::shared_ptr<WorkerClock> clock = nullptr);
    ~FactoryWatch();
    FactoryWatch(const FactoryWatch&) = delete;
    FactoryWatch& operator=(const FactoryWatch&) = delete;

    // Reads and checks the file and the identity; false with the reason reported.
    bool begin();
    void step();
    // The first Ctrl-C: no update starts any more; running updates go on.
    void stopTaking();
    bool updating() const;
    // The second Ctrl-C: running updates are stopped (they count as failed).
    void abortUpdates();
    // Writes the log lines still waiting for a restarted unit's new version.
    void finish();
    WatchSummary summary() const;

private:
    struct Slot;
    struct UnitRecord;
    using TimePoint = std::chrono::system_clock::time_point;

    void startSlot(const std::string& key, const HidInterface& first);
    // Each returns true while the slot goes on.
    bool followStarting(Slot& slot);
    bool followUpdating(Slot& slot);
    void endRun(Slot& slot, bool aborted);
    // The unit's outcome of this plug: counted once per unit, by its last outcome.
    void count(Slot& slot, const std::string& result);
    void followRecord(const std::string& key, UnitRecord& record, bool present, int64_t now);
    void writeLog(UnitRecord& record, const std::optional<DeviceReport>& after);

    std::shared_ptr<HidSystem> hid_;
    WatchSettings settings_;
    RunReporter& reporter_;
    std::shared_ptr<WorkerClock> clock_;
    std::string pattern_;
    FirmwareVersion fileVersion_;
    std::vector<uint8_t> fileBytes_; // the file as checked at the start
    bool taking_ = true;
    bool logFailed_ = false;
    std::map<std::string, std::unique_ptr<Slot>> slots_; // by unit key
    std::map<std::string, UnitRecord> units_;            // by unit key
    std::vector<std::string> outcomes_;                  // one per unit counted
};

// One line of the --log file: time (UTC, ISO 8601), the device, its firmware
// before and after (null: unknown), the result, its cause and how long it took.
struct DeviceLogEntry {
    std::chrono::system_clock::time_point time;
    std::string path;
    std::string serial, location; // the unit; empty when unknown
    std::string before; // "1.0.00", "none" or empty (unknown)
    std::string after;
    std::string result; // "updated", "failed" or "skipped"
    std::string cause;  // empty: none
    double seconds = 0;
};
std::string isoUtcTime(std::chrono::system_clock::time_point time);
std::string deviceLogLine(const DeviceLogEntry& entry);
// Appends one whole line; false when the file cannot be written.
bool appendLine(const std::string& path, const std::string& line);
