#pragma once

#include "CEvent.h"
#include "CFirmwareUpdater.h"
#include "WorkerClock.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HidSystem;
class UpdateView;

enum WorkerState : int { WORKER_IDLE = 0, WORKER_POLL = 1, WORKER_UPDATE = 2, WORKER_CLOSE = 3 };
enum DisplayState : int {
    SHOW_NONE = 0,
    SHOW_STARTED = 1,  // set by the worker when a run begins
    SHOW_PROGRESS = 2, // set by the page once it showed the start
    SHOW_RESULT = 3,   // set by the worker when the run ended
    SHOW_DONE = 4,     // set by the page once it showed the result
};

enum class LoadOutcome { Loaded, Failed, RefusedDuringUpdate };

// What a run went through, for front ends that tell it (the terminal, logs).
struct WorkerEvent {
    enum class Kind {
        Device,        // the device became present: path, versions, block size
        AttemptFailed, // attempt, failure
        Retrying,      // attempt (the one starting now), msLeft of the retry window
        RunEnded,      // ok, attempt (how many), ms, failure (the last attempt's; none
                       // after a clean run), recovery
    };
    Kind kind = Kind::Device;
    std::string path;
    std::string serial, location; // the unit (empty when the system does not say)
    FirmwareVersion hardware, firmware;
    uint32_t blockSize = 0;
    int attempt = 0;
    UpdateFailure failure;
    // RunEnded: why the device could not be used again when the retry window
    // closed (none when it could).
    UpdateFailure recovery;
    int64_t msLeft = 0;
    bool ok = false;
    int64_t ms = 0;
};

// The update worker: one background thread that polls for the device about ten
// times a second, runs updates with retries and closes the device at the end. It
// alone does device I/O. The page (user-interface thread) gives it orders through
// its state and reads what it reports; every field the two threads share is
// atomic and written in a fixed order (result before SHOW_RESULT, the command-line
// done flag last).
class CUpdateWorker {
public:
    static constexpr int kTurnMs = 100;
    static constexpr int kStartPauseMs = 5;
    static constexpr int kRetryPauseMs = 250;
    static constexpr int kRetryWindowMs = 15000;
    static constexpr int kFailurePauseMs = 2000;
    static constexpr int kPauseStepMs = 50;
    static constexpr int kDeviceWaitMs = 10000;
    static constexpr int kCloseWaitMs = 2000;
    // The close request's limit after a stopped run: a device that takes reports at
    // all takes one within milliseconds, and the one who stopped the run already
    // waited out the report in progress.
    static constexpr int kStoppedCloseLimitMs = 250;

    explicit CUpdateWorker(std::shared_ptr<HidSystem> hid = nullptr,
                           std::shared_ptr<WorkerClock> clock = nullptr);
    // Stops a run in progress, closes the device (sending the close request when it
    // is open) and ends the thread before anything it uses is released.
    ~CUpdateWorker();
    CUpdateWorker(const CUpdateWorker&) = delete;
    CUpdateWorker& operator=(const CUpdateWorker&) = delete;

    // ---- Orders (user-interface thread) ----

    // The update button.
    void orderUpdate() {
        imageInUse_ = true;
        workerState_ = WORKER_UPDATE;
    }
    // Tells the worker to stop a run and close its device, without waiting (the
    // destructor then waits less).
    void orderClose() {
        abortRun_ = true;
        workerState_ = WORKER_CLOSE;
    }
    // For a program that must end at once (its display went away): a run in
    // progress is allowed to finish within limitMs, then the device is closed
    // (with its close request) within the usual close wait.
    void finishAndClose(int limitMs);
    // The file factory mode checked at its start, for this worker's unit.
    LoadOutcome loadBytes(const std::vector<uint8_t>& bytes);
    // The open-file button or a dropped file. Refused from the update order until the
    // run stopped sending the image. A file for other IDs than the one before makes
    // the worker give up the device in use before anything else.
    LoadOutcome loadFile(const char* path);
    // Binds the byte that receives the outcome of the command-line run.
    void prepareCommandLine(std::atomic<uint8_t>* exitResult);
    // Waits up to 10 s for the identified device, loads the file and starts the run.
    // On failure shows the reason on view, pauses 2 s and asks it to close.
    bool startCommandLineUpdate(const char* path, const char* identity, UpdateView& view);
    // The same without blocking, for a window that must keep answering: begin, then
    // step from the page's 50 ms tick until it tells Started or Failed (after the
    // failure's 2 s on view and the close request).
    enum class StartPhase { None, Waiting, Started, Pausing, Failed };
    void beginCommandLineUpdate(const char* path, const char* identity);
    StartPhase stepCommandLineStart(UpdateView& view);

    // ---- What the page reads ----

    CFirmwareUpdater& updater() { return *updater_; }
    const CFirmwareUpdater& updater() const { return *updater_; }
    // Not while the worker has yet to give up the device of a file loaded before.
    bool present() const { return present_.load() && !targetChanged_.load(); }
    // From the update order until the run's last attempt ended: the image is in use
    // and the run is not to be interrupted.
    bool runOrdered() const { return imageInUse_.load(); }
    int workerState() const { return workerState_.load(); }
    int displayState() const { return displayState_.load(); }
    // The page's own steps: STARTED to PROGRESS, RESULT to DONE. A step is taken only
    // from the state the page saw, so it never hides a newer state of the worker.
    bool advanceDisplay(int from, int to) { return displayState_.compare_exchange_strong(from, to); }
    bool result() const { return result_.load(); }
    int progress() const { return progress_.load(); }
    void resetProgress() { progress_ = 0; }
    // Reads and clears the flag.
    bool takeTextsDirty() { return textsDirty_.exchange(false); }
    void setTextsDirty() { textsDirty_ = true; }
    bool commandLineMode() const { return commandLineMode_.load(); }
    void setCommandLineMode(bool on) { commandLineMode_ = on; }
    bool commandLineTexts() const { return commandLineTexts_.load(); }
    bool commandLineDone() const { return commandLineDone_.load(); }
    WorkerClock& clock() { return *clock_; }

    // Events are kept only once asked for (the window never reads them), at most
    // kMaxEvents, the oldest dropped first.
    static constexpr size_t kMaxEvents = 1024;
    void enableEvents() { eventsEnabled_ = true; }
    std::vector<WorkerEvent> takeEvents();

private:
    void loop();
    void pollTurn();
    void updateRun();
    void closeTurn();
    // Gives up a device that is not the loaded file's, with its close request.
    void followTarget();
    bool elapsedBelow(int64_t start, int limitMs) { return clock_->nowMs() - start < limitMs; }
    void post(WorkerEvent event);

    std::shared_ptr<WorkerClock> clock_;
    std::unique_ptr<CFirmwareUpdater> updater_;
    std::atomic<bool> present_{false};
    CEvent presenceEvent_;
    std::atomic<int> workerState_{WORKER_IDLE};
    std::atomic<int> displayState_{SHOW_NONE};
    std::atomic<bool> commandLineDone_{false};
    std::atomic<bool> result_{false};
    std::atomic<bool> commandLineMode_{false};
    std::atomic<bool> commandLineTexts_{false};
    std::atomic<bool> textsDirty_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> abortRun_{false};
    std::atomic<bool> runActive_{false};
    std::atomic<bool> runStopped_{false}; // the last run was cut short by abortRun_
    std::atomic<bool> imageInUse_{false};
    std::atomic<bool> targetChanged_{false};
    std::atomic<std::atomic<uint8_t>*> exitResult_{nullptr};
    std::mutex identityLock_;
    std::string identity_;
    bool hasIdentity_ = false; // guarded by identityLock_
    std::atomic<int> progress_{0};
    // The command-line start in steps (user-interface thread only).
    StartPhase startPhase_ = StartPhase::None;
    std::string startPath_;
    int64_t startedAtMs_ = 0;
    std::atomic<bool> eventsEnabled_{false};
    std::mutex eventsLock_;
    std::deque<WorkerEvent> events_; // guarded by eventsLock_
    std::thread thread_; // last: starts once everything above exists
};
