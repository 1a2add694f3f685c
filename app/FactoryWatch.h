#pragma once

#include "DeviceProbe.h"
#include "FirmwareVersion.h"
#include "RunReporter.h"
#include "WorkerClock.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <string>

class CUpdateWorker;
class HidSystem;

struct WatchSettings {
    std::string filePath;
    std::string identity;
    bool force = false;   // also devices that report the file's version
    std::string logPath;  // empty: no log
    // A device back at its path this soon after its update is the same plug (its
    // restart), and is not updated again.
    int restartWindowMs = 10000;
    size_t maxDevices = 64; // at once; more wait until one is done
};

struct WatchSummary {
    int updated = 0;
    int failed = 0;
    int skipped = 0;
};

// Factory mode: waits for devices with the identity's IDs and updates each one as
// it is plugged, several at once, one worker per device. A device is updated once
// per plug: one that already reports the file's version is skipped (unless
// forced), and one that comes back at the same path within the restart window of
// its update is taken for its own restart. Main thread only; call step() about
// every 50 ms.
class FactoryWatch {
public:
    FactoryWatch(std::shared_ptr<HidSystem> hid, WatchSettings settings, RunReporter& reporter,
                 std::shared_ptr<WorkerClock> clock = nullptr);
    ~FactoryWatch();
    FactoryWatch(const FactoryWatch&) = delete;
    FactoryWatch& operator=(const FactoryWatch&) = delete;

    // Checks the file and the identity; false with the reason reported.
    bool begin();
    void step();
    // The first Ctrl-C: no new device is taken; running updates go on.
    void stopTaking() { taking_ = false; }
    bool updating() const;
    // The second Ctrl-C: running updates are stopped (they count as failed).
    void abortUpdates();
    // Writes the log lines still waiting for a restarted device's new version.
    void finish();
    WatchSummary summary() const { return summary_; }

private:
    struct Slot;
    using TimePoint = std::chrono::system_clock::time_point;

    void startSlot(const std::string& path);
    void followStarting(Slot& slot);
    void followUpdating(Slot& slot);
    void endRun(Slot& slot, bool aborted);
    // After its run: restart window, the new version, a new plug.
    bool followDone(Slot& slot, bool present, int64_t now);
    void writeLog(Slot& slot, const std::optional<DeviceReport>& after);

    std::shared_ptr<HidSystem> hid_;
    WatchSettings settings_;
    RunReporter& reporter_;
    std::shared_ptr<WorkerClock> clock_;
    std::string pattern_;
    FirmwareVersion fileVersion_;
    bool taking_ = true;
    bool logFailed_ = false;
    WatchSummary summary_;
    std::map<std::string, std::unique_ptr<Slot>> slots_;
};

// One line of the --log file: time (UTC, ISO 8601), the device, its firmware
// before and after (null: unknown), the result, its cause and how long it took.
struct DeviceLogEntry {
    std::chrono::system_clock::time_point time;
    std::string path;
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
