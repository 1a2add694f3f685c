#include "FactoryWatch.h"

#include "CFirmwareUpdater.h"
#include "CUpdateWorker.h"
#include "DeviceProtocol.h"
#include "DeviceSearch.h"
#include "FileAccess.h"
#include "HidSystem.h"
#include "JsonLines.h"
#include "StartCauses.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>

namespace {

// A serial seen at two ports at once names no single unit (devices that all carry
// the same serial exist): those units are told apart by their port as well.
std::string keyWithPort(const HidInterface& entry) {
    return entry.unitKey() + "\n" + entry.location;
}

// The interfaces of one unit only: its worker never sees another device.
class UnitHid : public HidSystem {
public:
    UnitHid(std::shared_ptr<HidSystem> system, std::string key)
        : system_(std::move(system)), key_(std::move(key)) {}

    bool listInterfaces(std::vector<HidInterface>& interfaces) override {
        if (!system_->listInterfaces(interfaces))
            return false;
        std::erase_if(interfaces, [this](const HidInterface& entry) {
            return entry.unitKey() != key_ && keyWithPort(entry) != key_;
        });
        return true;
    }
    HidOpenStatus open(const std::string& path, std::unique_ptr<HidConnection>& connection) override {
        std::vector<HidInterface> interfaces;
        if (!listInterfaces(interfaces) ||
            std::none_of(interfaces.begin(), interfaces.end(),
                         [&](const HidInterface& entry) { return entry.path == path; }))
            return HidOpenStatus::Failed;
        return system_->open(path, connection);
    }

private:
    std::shared_ptr<HidSystem> system_;
    const std::string key_;
};

bool answered(const UpdateFailure& failure) {
    return failure.kind == UpdateFailure::Kind::None ||
           failure.kind == UpdateFailure::Kind::BlockSizeZero ||
           failure.kind == UpdateFailure::Kind::BlockSizeTooLarge;
}

} // namespace

// One plug of a unit, from its information request to the end of its update.
struct FactoryWatch::Slot {
    enum class Phase { Starting, Updating };

    std::string key;
    HidInterface unit; // the path tags its lines: the interface that answered
    Phase phase = Phase::Starting;
    std::unique_ptr<CUpdateWorker> worker;
    bool asked = false; // its information arrived
    DeviceReport before;
    std::optional<WorkerEvent> ended;
    RunOutcome outcome;
};

// What became of one unit key over the watch.
struct FactoryWatch::UnitRecord {
    bool present = false;
    bool plugDone = false; // this plug had its turn; the next plug is a new one
    int counted = -1;      // its place in outcomes_; -1: never counted
    std::string result;    // of its last turn: "updated", "failed" or "skipped"
    int64_t endMs = 0;
    bool absentSinceEnd = false;
    std::string before; // the firmware it reported at its last turn
    // The log line of an update waits for the version the unit restarts with.
    bool logPending = false;
    DeviceLogEntry log;
    std::future<DeviceReport> probe;
};

FactoryWatch::FactoryWatch(std::shared_ptr<HidSystem> hid, WatchSettings settings,
                           RunReporter& reporter, std::shared_ptr<WorkerClock> clock)
    : hid_(std::move(hid)), settings_(std::move(settings)), reporter_(reporter),
      clock_(clock ? std::move(clock) : WorkerClock::real()) {}

FactoryWatch::~FactoryWatch() {
    slots_.clear(); // each worker closes its device
    units_.clear(); // probes are waited for
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
    // Checked here once, on the copy every unit gets.
    file.setSignaturePolicy(settings_.signatures);
    const bool loaded = file.loadFile(settings_.filePath.c_str());
    if (settings_.signatures)
        reporter_.signature(file.lastSignature());
    if (!loaded)
        return refuse(file.lastSignature().loads() ? "update file not loadable: " + settings_.filePath
                                                   : signatureProblem(file.lastSignature()));
    if (file.vendorId() != vendorId || file.productId() != productId)
        return refuse("the update file is for " + devicePattern(file.vendorId(), file.productId()) +
                      ", not " + devicePattern(vendorId, productId));
    pattern_ = devicePattern(vendorId, productId);
    fileVersion_ = file.fileVersion();
    fileBytes_ = file.fileBytes(); // what every unit gets, whatever happens to the file later
    reporter_.waiting(settings_.identity, "", 0);
    return true;
}

bool FactoryWatch::updating() const {
    for (const auto& [key, slot] : slots_)
        if (slot->phase == Slot::Phase::Updating)
            return true;
    return false;
}

void FactoryWatch::stopTaking() {
    taking_ = false;
    // Units still being asked are let go: no update starts from now on. All are told
    // first, so that their current turns end side by side, not one after another.
    for (auto& [key, slot] : slots_)
        if (slot->phase == Slot::Phase::Starting)
            slot->worker->orderClose();
    std::erase_if(slots_, [](const auto& entry) { return entry.second->phase == Slot::Phase::Starting; });
}

WatchSummary FactoryWatch::summary() const {
    WatchSummary summary;
    for (const std::string& result : outcomes_) {
        if (result == "updated")
            ++summary.updated;
        else if (result == "failed")
            ++summary.failed;
        else
            ++summary.skipped;
    }
    summary.logFailed = logFailed_;
    return summary;
}

void FactoryWatch::step() {
    std::vector<HidInterface> interfaces;
    std::vector<std::string> order;        // unit keys in the order first listed
    std::map<std::string, HidInterface> present; // each unit's first interface
    if (hid_->listInterfaces(interfaces)) {
        std::erase_if(interfaces, [this](const HidInterface& entry) {
            return !pathMatchesPattern(entry.path, pattern_) || !entry.carriesUpdates();
        });
        std::map<std::string, std::string> portOfSerial;
        std::set<std::string> sharedSerials;
        for (const HidInterface& entry : interfaces) {
            if (entry.serial.empty())
                continue;
            const auto [known, added] = portOfSerial.emplace(entry.serial, entry.location);
            if (!added && known->second != entry.location)
                sharedSerials.insert(entry.serial);
        }
        for (const HidInterface& entry : interfaces) {
            const std::string key =
                sharedSerials.count(entry.serial) ? keyWithPort(entry) : entry.unitKey();
            if (present.emplace(key, entry).second)
                order.push_back(key);
        }
    }
    const int64_t now = clock_->nowMs();

    for (auto it = slots_.begin(); it != slots_.end();) {
        Slot& slot = *it->second;
        bool keep = true;
        if (slot.phase == Slot::Phase::Starting)
            keep = present.count(slot.key) && followStarting(slot); // gone before it answered: never ours
        else
            keep = followUpdating(slot);
        it = keep ? std::next(it) : slots_.erase(it);
    }
    for (auto& [key, record] : units_)
        followRecord(key, record, present.count(key) != 0, now);
    if (!taking_)
        return;
    for (const std::string& key : order) {
        if (slots_.size() >= settings_.maxDevices)
            break;
        const auto known = units_.find(key);
        // A unit being asked for its new version is not taken meanwhile.
        if (!slots_.count(key) &&
            (known == units_.end() || (!known->second.plugDone && !known->second.probe.valid())))
            startSlot(key, present[key]);
    }
}

void FactoryWatch::startSlot(const std::string& key, const HidInterface& first) {
    auto slot = std::make_unique<Slot>();
    slot->key = key;
    slot->unit = first;
    slot->worker = std::make_unique<CUpdateWorker>(std::make_shared<UnitHid>(hid_, key), clock_);
    slot->worker->enableEvents();
    UnitRecord& record = units_[key];
    record.present = true;
    if (slot->worker->loadBytes(fileBytes_) != LoadOutcome::Loaded) { // checked at the start
        slot->worker.reset();
        slot->outcome = RunOutcome{false, 0, 0, "the update file could not be handed to the unit"};
        reporter_.result(first.path, slot->outcome);
        count(*slot, "failed");
        return;
    }
    slots_[key] = std::move(slot);
}

bool FactoryWatch::followStarting(Slot& slot) {
    // Present is set after the unit's information was asked and posted.
    const bool present = slot.worker->present();
    for (const WorkerEvent& event : slot.worker->takeEvents()) {
        if (event.kind != WorkerEvent::Kind::Device)
            continue;
        slot.asked = true;
        slot.unit = HidInterface{event.path, event.serial, event.location};
        slot.before.failure = event.failure;
        slot.before.answered = answered(event.failure);
        slot.before.hardware = event.hardware;
        slot.before.firmware = event.firmware;
        slot.before.blockSize = event.blockSize;
    }
    if (!present || !slot.asked)
        return true;

    UnitRecord& record = units_[slot.key];
    const int64_t now = clock_->nowMs();
    const bool fileVersion = slot.before.answered &&
                             slot.before.firmware.major != kNoFirmwareMajor &&
                             slot.before.firmware == fileVersion_;
    const bool inRestartWindow = record.result == "updated" && record.absentSinceEnd &&
                                 now - record.endMs <= settings_.restartWindowMs;
    if (inRestartWindow && (fileVersion || !slot.before.answered)) {
        // The unit just updated, restarting: never updated again, never counted again.
        // One that does not answer yet is left to its restart.
        if (slot.before.answered)
            writeLog(record, slot.before);
        record.plugDone = true;
        return false;
    }
    reporter_.device(slot.unit, slot.before);
    if (!slot.before.answered) {
        // Never flashed blind: a unit that cannot say what it has fails.
        slot.outcome = RunOutcome{false, 0, 0, slot.before.failure.text()};
        slot.worker.reset();
        reporter_.result(slot.unit.path, slot.outcome);
        count(slot, "failed");
        return false;
    }
    if (fileVersion && !settings_.force) {
        slot.worker.reset();
        reporter_.skipped(slot.unit.path, firmwareText(slot.before));
        count(slot, "skipped");
        return false;
    }
    slot.worker->orderUpdate();
    slot.phase = Slot::Phase::Updating;
    return true;
}

bool FactoryWatch::followUpdating(Slot& slot) {
    CUpdateWorker& worker = *slot.worker;
    // The run's last event is posted before its result: read the state first.
    const int state = worker.displayState();
    for (const WorkerEvent& event : worker.takeEvents()) {
        if (event.kind == WorkerEvent::Kind::AttemptFailed)
            reporter_.attemptFailed(slot.unit.path, event.attempt, event.failure);
        else if (event.kind == WorkerEvent::Kind::Retrying)
            reporter_.retrying(slot.unit.path, event.attempt, event.msLeft, CUpdateWorker::kRetryWindowMs);
        else if (event.kind == WorkerEvent::Kind::RunEnded)
            slot.ended = event;
    }
    if (state == SHOW_STARTED || state == SHOW_PROGRESS || state == SHOW_RESULT) {
        const uint32_t size = worker.updater().blockSize();
        const uint32_t blocks = size ? worker.updater().imageLength() / size : 0;
        reporter_.progress(slot.unit.path, worker.progress(), worker.updater().blocksDone(), blocks);
    }
    if (state == SHOW_RESULT && slot.ended) {
        slot.outcome = outcomeOf(*slot.ended);
        endRun(slot, false);
        return false;
    }
    return true;
}

void FactoryWatch::endRun(Slot& slot, bool aborted) {
    if (aborted) {
        slot.outcome.ok = false;
        slot.outcome.cause = UpdateFailure{UpdateFailure::Kind::Stopped}.text();
    }
    slot.worker.reset(); // closes the device
    reporter_.result(slot.unit.path, slot.outcome);
    count(slot, slot.outcome.ok ? "updated" : "failed");
}

void FactoryWatch::count(Slot& slot, const std::string& result) {
    UnitRecord& record = units_[slot.key];
    if (record.logPending)
        writeLog(record, std::nullopt); // an earlier update whose restart was never seen
    // A serial names one unit for good. Without one, a unit that failed and comes
    // back at its port with the firmware it had is that unit plugged again. Anything
    // else at a port or path that was counted before is another unit.
    const std::string before = firmwareText(slot.before);
    const bool sameUnit = !slot.unit.serial.empty() ||
                          (record.result == "failed" && record.before == before);
    if (record.counted < 0 || !sameUnit) {
        outcomes_.push_back(result);
        record.counted = static_cast<int>(outcomes_.size()) - 1;
    } else if (!(result == "skipped" && outcomes_[record.counted] == "updated")) {
        outcomes_[record.counted] = result; // an updated unit plugged again is still updated
    }
    record.result = result;
    record.before = before;
    record.plugDone = true;
    record.present = true;
    record.absentSinceEnd = false;
    record.endMs = clock_->nowMs();

    DeviceLogEntry& entry = record.log;
    entry = DeviceLogEntry{};
    entry.time = std::chrono::system_clock::now();
    entry.path = slot.unit.path;
    entry.serial = slot.unit.serial;
    entry.location = slot.unit.location;
    entry.before = firmwareText(slot.before);
    entry.result = result;
    entry.cause = result == "skipped" ? "already up to date" : slot.outcome.cause;
    entry.seconds = slot.outcome.seconds;
    if (result == "updated" && !settings_.logPath.empty())
        record.logPending = true; // written once the unit is back with its new version
    else
        writeLog(record, result == "skipped" ? std::optional<DeviceReport>(slot.before) : std::nullopt);
}

void FactoryWatch::followRecord(const std::string& key, UnitRecord& record, bool present,
                                int64_t now) {
    if (!present && record.present && !slots_.count(key)) {
        record.plugDone = false; // unplugged: its next appearance is a new plug
        record.absentSinceEnd = true;
    }
    record.present = present;
    if (record.probe.valid()) {
        if (record.probe.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            writeLog(record, record.probe.get());
        return;
    }
    if (!record.logPending || now - record.endMs <= settings_.restartWindowMs)
        return;
    // The window closed: a unit that stayed restarted without leaving and is asked
    // now; one that went away is not coming back as this plug.
    if (present && !record.absentSinceEnd)
        record.probe = std::async(std::launch::async, probeDevice,
                                  std::make_shared<UnitHid>(hid_, key), record.log.path);
    else if (!present)
        writeLog(record, std::nullopt);
}

void FactoryWatch::abortUpdates() {
    for (auto it = slots_.begin(); it != slots_.end();) {
        if (it->second->phase == Slot::Phase::Updating) {
            endRun(*it->second, true);
            it = slots_.erase(it);
        } else {
            ++it;
        }
    }
}

void FactoryWatch::finish() {
    slots_.clear();
    for (auto& [key, record] : units_) {
        if (record.probe.valid())
            writeLog(record, record.probe.get());
        else if (record.logPending)
            writeLog(record, std::nullopt);
    }
}

void FactoryWatch::writeLog(UnitRecord& record, const std::optional<DeviceReport>& after) {
    record.logPending = false;
    if (settings_.logPath.empty() || record.log.result.empty())
        return;
    DeviceLogEntry entry = record.log;
    entry.after = after ? firmwareText(*after) : "";
    record.log.result.clear(); // one line per turn
    // Told at once, for every line lost: the record is what the line relies on.
    if (!appendLine(settings_.logPath, deviceLogLine(entry))) {
        logFailed_ = true;
        reporter_.note("cannot write the log " + settings_.logPath + ": the line for " + entry.path +
                       " is lost");
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
                     {"serial", textOrNull(entry.serial)},
                     {"location", textOrNull(entry.location)},
                     {"before", textOrNull(entry.before)},
                     {"after", textOrNull(entry.after)},
                     {"result", entry.result},
                     {"cause", textOrNull(entry.cause)},
                     {"seconds", static_cast<double>(static_cast<int64_t>(entry.seconds * 100 + 0.5)) / 100}});
}

bool appendLine(const std::string& path, const std::string& line) {
    std::FILE* file = openFile(path, "ab"); // appends: runs side by side keep whole lines
    if (!file)
        return false;
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    return std::fclose(file) == 0 && written;
}
