#include "FactoryWatch.h"

#include "CFirmwareUpdater.h"
#include "CUpdateWorker.h"
#include "DeviceProtocol.h"
#include "DeviceSearch.h"
#include "HidSystem.h"
#include "JsonLines.h"
#include "OneInterfaceHid.h"
#include "StartCauses.h"

#include <cstdio>
#include <iterator>
#include <set>

struct FactoryWatch::Slot {
    enum class Phase { Starting, Updating, Done };

    std::string path;
    Phase phase = Phase::Starting;
    std::unique_ptr<CUpdateWorker> worker;
    DeviceReport before;
    std::optional<WorkerEvent> ended;
    int64_t endMs = 0;
    TimePoint endTime;
    std::string result;
    RunOutcome outcome;
    bool seenAbsent = false; // since the run ended
    bool logPending = false; // updated: the log waits for the version it restarts with
    std::future<DeviceReport> probe;
};

FactoryWatch::FactoryWatch(std::shared_ptr<HidSystem> hid, WatchSettings settings,
                           RunReporter& reporter, std::shared_ptr<WorkerClock> clock)
    : hid_(std::move(hid)), settings_(std::move(settings)), reporter_(reporter),
      clock_(clock ? std::move(clock) : WorkerClock::real()) {}

FactoryWatch::~FactoryWatch() {
    slots_.clear(); // each worker closes its device; probes are waited for
}

bool FactoryWatch::begin() {
    auto refuse = [this](const std::string& cause) {
        reporter_.result("", RunOutcome{false, 0, 0, cause});
        return false;
    };
    uint16_t vendorId = 0, productId = 0;
    if (!CFirmwareUpdater::parseIdentity(settings_.identity.c_str(), vendorId, productId))
        return refuse("-id: \"" + settings_.identity + "\" names no device (vid_XXXX&pid_YYYY)");
    const std::string problem = updateFileProblem(settings_.filePath);
    if (!problem.empty())
        return refuse(problem);
    CFirmwareUpdater file(hid_);
    if (!file.loadFile(settings_.filePath.c_str()))
        return refuse("update file not loadable: " + settings_.filePath);
    if (file.vendorId() != vendorId || file.productId() != productId)
        return refuse("the update file is for " + devicePattern(file.vendorId(), file.productId()) +
                      ", not " + devicePattern(vendorId, productId));
    pattern_ = devicePattern(vendorId, productId);
    fileVersion_ = file.fileVersion();
    reporter_.waiting(settings_.identity, "", 0);
    return true;
}

bool FactoryWatch::updating() const {
    for (const auto& [path, slot] : slots_)
        if (slot->phase == Slot::Phase::Updating)
            return true;
    return false;
}

void FactoryWatch::step() {
    std::vector<std::string> paths;
    std::set<std::string> present;
    if (hid_->listPaths(paths))
        for (const std::string& path : paths)
            if (pathMatchesPattern(path, pattern_))
                present.insert(path);
    const int64_t now = clock_->nowMs();

    size_t running = 0;
    for (auto it = slots_.begin(); it != slots_.end();) {
        Slot& slot = *it->second;
        bool keep = true;
        const bool there = present.count(slot.path) != 0;
        switch (slot.phase) {
        case Slot::Phase::Starting:
            keep = there; // gone before it was asked: it was never ours
            if (keep)
                followStarting(slot);
            break;
        case Slot::Phase::Updating:
            followUpdating(slot);
            break;
        case Slot::Phase::Done:
            keep = followDone(slot, there, now);
            break;
        }
        if (keep && slot.phase != Slot::Phase::Done)
            ++running;
        it = keep ? std::next(it) : slots_.erase(it);
    }
    if (!taking_)
        return;
    for (const std::string& path : present)
        if (!slots_.count(path) && running < settings_.maxDevices) {
            startSlot(path);
            ++running;
        }
}

void FactoryWatch::startSlot(const std::string& path) {
    auto slot = std::make_unique<Slot>();
    slot->path = path;
    slot->worker = std::make_unique<CUpdateWorker>(std::make_shared<OneInterfaceHid>(hid_, path), clock_);
    slot->worker->enableEvents();
    if (slot->worker->loadFile(settings_.filePath.c_str()) != LoadOutcome::Loaded) {
        // The file changed since the start: this device is not touched.
        const std::string problem = updateFileProblem(settings_.filePath);
        slot->ended.reset();
        slot->outcome = RunOutcome{false, 0, 0, problem.empty() ? "update file not loadable" : problem};
        endRun(*slot, false);
    }
    slots_[path] = std::move(slot);
}

void FactoryWatch::followStarting(Slot& slot) {
    // Present is set after the device's information was asked and posted.
    const bool present = slot.worker->present();
    for (const WorkerEvent& event : slot.worker->takeEvents()) {
        if (event.kind != WorkerEvent::Kind::Device)
            continue;
        slot.before.failure = event.failure;
        slot.before.answered = event.failure.kind == UpdateFailure::Kind::None ||
                               event.failure.kind == UpdateFailure::Kind::BlockSizeZero ||
                               event.failure.kind == UpdateFailure::Kind::BlockSizeTooLarge;
        slot.before.hardware = event.hardware;
        slot.before.firmware = event.firmware;
        slot.before.blockSize = event.blockSize;
        reporter_.device(slot.path, slot.before);
    }
    if (!present)
        return;
    const bool upToDate = slot.before.answered && slot.before.firmware.major != kNoFirmwareMajor &&
                          slot.before.firmware == fileVersion_;
    if (upToDate && !settings_.force) {
        slot.worker.reset();
        slot.phase = Slot::Phase::Done;
        slot.endMs = clock_->nowMs();
        slot.endTime = std::chrono::system_clock::now();
        slot.result = "skipped";
        ++summary_.skipped;
        reporter_.skipped(slot.path, firmwareText(slot.before));
        writeLog(slot, slot.before);
        return;
    }
    slot.worker->orderUpdate();
    slot.phase = Slot::Phase::Updating;
}

void FactoryWatch::followUpdating(Slot& slot) {
    CUpdateWorker& worker = *slot.worker;
    // The run's last event is posted before its result: read the state first.
    const int state = worker.displayState();
    for (const WorkerEvent& event : worker.takeEvents()) {
        if (event.kind == WorkerEvent::Kind::AttemptFailed)
            reporter_.attemptFailed(slot.path, event.attempt, event.failure);
        else if (event.kind == WorkerEvent::Kind::Retrying)
            reporter_.retrying(slot.path, event.attempt, event.msLeft, CUpdateWorker::kRetryWindowMs);
        else if (event.kind == WorkerEvent::Kind::RunEnded)
            slot.ended = event;
    }
    if (state == SHOW_STARTED || state == SHOW_PROGRESS || state == SHOW_RESULT) {
        const uint32_t size = worker.updater().blockSize();
        const uint32_t blocks = size ? worker.updater().imageLength() / size : 0;
        reporter_.progress(slot.path, worker.progress(), worker.updater().blocksDone(), blocks);
    }
    if (state == SHOW_RESULT && slot.ended) {
        slot.outcome = outcomeOf(*slot.ended);
        endRun(slot, false);
    }
}

void FactoryWatch::endRun(Slot& slot, bool aborted) {
    if (aborted) {
        slot.outcome.ok = false;
        slot.outcome.cause = UpdateFailure{UpdateFailure::Kind::Stopped}.text();
    }
    slot.worker.reset(); // closes the device
    slot.phase = Slot::Phase::Done;
    slot.endMs = clock_->nowMs();
    slot.endTime = std::chrono::system_clock::now();
    reporter_.result(slot.path, slot.outcome);
    if (slot.outcome.ok) {
        slot.result = "updated";
        ++summary_.updated;
        slot.logPending = !settings_.logPath.empty();
    } else {
        slot.result = "failed";
        ++summary_.failed;
        writeLog(slot, std::nullopt);
    }
}

bool FactoryWatch::followDone(Slot& slot, bool present, int64_t now) {
    if (slot.probe.valid()) {
        if (slot.probe.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return true;
        writeLog(slot, slot.probe.get());
    }
    const bool inWindow = now - slot.endMs <= settings_.restartWindowMs;
    if (!present) {
        if (inWindow) {
            slot.seenAbsent = true;
            return true;
        }
        // Unplugged: its next appearance is a new plug.
        if (slot.logPending)
            writeLog(slot, std::nullopt);
        return false;
    }
    // Asked for its new version once it restarted: back after going away, or
    // still there when the window closed (it restarted without leaving).
    if (slot.logPending && (slot.seenAbsent || !inWindow))
        slot.probe = std::async(std::launch::async, probeDevice, hid_, slot.path);
    return true;
}

void FactoryWatch::abortUpdates() {
    for (auto& [path, slot] : slots_)
        if (slot->phase == Slot::Phase::Updating)
            endRun(*slot, true);
}

void FactoryWatch::finish() {
    for (auto it = slots_.begin(); it != slots_.end();) {
        Slot& slot = *it->second;
        if (slot.probe.valid())
            writeLog(slot, slot.probe.get());
        else if (slot.logPending)
            writeLog(slot, std::nullopt);
        it = slot.phase == Slot::Phase::Done ? std::next(it) : slots_.erase(it);
    }
}

void FactoryWatch::writeLog(Slot& slot, const std::optional<DeviceReport>& after) {
    slot.logPending = false;
    if (settings_.logPath.empty())
        return;
    DeviceLogEntry entry;
    entry.time = slot.endTime;
    entry.path = slot.path;
    entry.before = firmwareText(slot.before);
    entry.after = after ? firmwareText(*after) : "";
    entry.result = slot.result;
    entry.cause = slot.result == "skipped" ? "already up to date" : slot.outcome.cause;
    entry.seconds = slot.outcome.seconds;
    if (!appendLine(settings_.logPath, deviceLogLine(entry)) && !logFailed_) {
        logFailed_ = true;
        reporter_.note("cannot write the log " + settings_.logPath);
    }
}

std::string isoUtcTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss<milliseconds> timeOfDay{ms - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(timeOfDay.hours().count()), static_cast<int>(timeOfDay.minutes().count()),
                  static_cast<int>(timeOfDay.seconds().count()),
                  static_cast<int>(timeOfDay.subseconds().count()));
    return text;
}

std::string deviceLogLine(const DeviceLogEntry& entry) {
    auto textOrNull = [](const std::string& text) {
        return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
    };
    return jsonLine({{"time", isoUtcTime(entry.time)},
                     {"path", entry.path},
                     {"before", textOrNull(entry.before)},
                     {"after", textOrNull(entry.after)},
                     {"result", entry.result},
                     {"cause", textOrNull(entry.cause)},
                     {"seconds", static_cast<double>(static_cast<int64_t>(entry.seconds * 100 + 0.5)) / 100}});
}

bool appendLine(const std::string& path, const std::string& line) {
    std::FILE* file = std::fopen(path.c_str(), "ab"); // appends: runs side by side keep whole lines
    if (!file)
        return false;
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    return std::fclose(file) == 0 && written;
}
