#include "SimulatedHid.h"

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace {

// Input reports a connection holds before the oldest are dropped (as hidraw does).
constexpr size_t kInboxLimit = 64;
// A device that finished an update leaves time for its last acknowledgement to be
// read before it restarts.
constexpr auto kAckBeforeRestart = std::chrono::milliseconds(100);

struct Inbox {
    std::deque<std::array<uint8_t, kReportSize>> reports;
    uint64_t generation = 0;
};

} // namespace

struct SimulatedHidSystem::Unit {
    // firstPath: the number of the first interface's path; each interface has one.
    Unit(const SimulatedDeviceConfig& settings, size_t position, size_t firstPath)
        : config(settings), device(settings), index(position),
          presentFrom(Clock::now() + std::chrono::milliseconds(settings.appearMs)),
          claims(static_cast<size_t>(settings.interfaces)) {
        for (int i = 0; i < config.interfaces; ++i) {
            char text[64];
            std::snprintf(text, sizeof text, "sim://hid%zu?vid_%04x&pid_%04x",
                          firstPath + static_cast<size_t>(i), config.vendorId, config.productId);
            paths.push_back(text);
        }
        location = config.port.empty() ? "sim-" + std::to_string(index) : config.port;
        if (config.leaveMs >= 0)
            leaveAt = Clock::now() + std::chrono::milliseconds(config.leaveMs);
    }

    // Caller holds lock.
    bool presentLocked(Clock::time_point now) {
        if (leaveAt && now >= *leaveAt) {
            leaveAt.reset();
            goAway(config.replugAfterMs);
        }
        if (restartAt && now >= *restartAt) {
            restartAt.reset();
            if (config.restartMs > 0)
                goAway(config.restartMs);
            else
                device.restart(); // at once, never seen gone
        }
        if (now < presentFrom || gone)
            return false;
        if (awayUntil) {
            if (now < *awayUntil)
                return false;
            awayUntil.reset();
            device.restart();
        }
        return true;
    }

    void goAway(int forMs) {
        ++generation; // every open connection is dead from now on
        if (forMs < 0)
            gone = true;
        else
            awayUntil = Clock::now() + std::chrono::milliseconds(forMs);
        changed.notify_all();
    }

    // The bus moves one report per latency period: a transfer completes one period
    // after the previous one, or after now when the host left the bus idle, so
    // the schedule does not drift with the host's own delays. None when that is past
    // the transfer's deadline: it times out, as on a device, and takes no slot.
    std::optional<Clock::time_point> nextSlot(Clock::time_point deadline) {
        const auto latency = std::chrono::milliseconds(config.latencyMs);
        const auto now = Clock::now();
        const auto slot = (now <= lastSlot + latency) ? lastSlot + latency : now + latency;
        if (slot > deadline)
            return std::nullopt;
        lastSlot = slot;
        return slot;
    }

    const SimulatedDeviceConfig config;
    mutable std::mutex lock;
    std::condition_variable changed;
    SimulatedDevice device;
    const size_t index;
    std::vector<std::string> paths; // one per interface; only the first answers
    std::string location;
    Clock::time_point presentFrom;
    std::optional<Clock::time_point> leaveAt;
    std::optional<Clock::time_point> awayUntil;
    std::optional<Clock::time_point> restartAt; // after a completed update
    bool gone = false;
    uint64_t generation = 1;
    Clock::time_point lastSlot{};
    std::vector<Inbox*> inboxes;
    int cancelled = 0;
    // Per interface: the claim of the connection (and its duplicates) that holds it.
    std::vector<std::weak_ptr<int>> claims;
    std::function<void(size_t, const SimulatedDevice::Request&)> observer;
};

namespace {

class SimulatedConnection : public HidConnection {
public:
    SimulatedConnection(std::shared_ptr<SimulatedHidSystem::Unit> unit, size_t interface,
                        uint64_t generation, std::shared_ptr<int> claim = nullptr)
        : unit_(std::move(unit)), interface_(interface), claim_(std::move(claim)) {
        std::lock_guard<std::mutex> guard(unit_->lock);
        inbox_.generation = generation;
        if (interface_ == 0) // the others never answer
            unit_->inboxes.push_back(&inbox_);
    }
    ~SimulatedConnection() override {
        std::lock_guard<std::mutex> guard(unit_->lock);
        std::erase(unit_->inboxes, &inbox_);
    }

    std::unique_ptr<HidConnection> duplicate() const override {
        uint64_t generation;
        {
            std::lock_guard<std::mutex> guard(unit_->lock);
            generation = inbox_.generation;
        }
        return std::make_unique<SimulatedConnection>(unit_, interface_, generation, claim_);
    }

    int discardInput() override {
        std::lock_guard<std::mutex> guard(unit_->lock);
        const int dropped = static_cast<int>(inbox_.reports.size());
        inbox_.reports.clear();
        return dropped;
    }

    bool claimExclusive() override {
        std::lock_guard<std::mutex> guard(unit_->lock);
        std::weak_ptr<int>& holder = unit_->claims[interface_];
        const std::shared_ptr<int> held = holder.lock();
        if (held)
            return held == claim_;
        if (!claim_)
            claim_ = std::make_shared<int>(0);
        holder = claim_;
        return true;
    }

    bool write(const uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        // A write to a device that is gone fails at once, as the OS reports it.
        std::unique_lock<std::mutex> guard(unit_->lock);
        if (!aliveLocked())
            return false;
        const auto slot = unit_->nextSlot(deadline);
        guard.unlock();
        std::this_thread::sleep_until(slot.value_or(deadline));
        if (!slot)
            return false; // the device never took it
        guard.lock();
        if (!aliveLocked())
            return false;
        if (interface_ != 0)
            return true; // taken by an interface that does not speak the protocol

        uint8_t report[kReportSize];
        std::memcpy(report, transfer + 1, kReportSize);
        const size_t logged = unit_->device.requests().size();
        const SimulatedDevice::Outcome outcome = unit_->device.receive(report);
        if (outcome.replied) {
            std::array<uint8_t, kReportSize> reply;
            std::memcpy(reply.data(), outcome.reply, kReportSize);
            for (Inbox* inbox : unit_->inboxes) {
                if (inbox->generation != unit_->generation)
                    continue;
                if (inbox->reports.size() == kInboxLimit)
                    inbox->reports.pop_front();
                inbox->reports.push_back(reply);
            }
        }
        if (outcome.event == SimulatedDevice::Event::Unplug)
            unit_->goAway(unit_->config.replugAfterMs);
        else if (outcome.event == SimulatedDevice::Event::UpdateComplete)
            unit_->restartAt = Clock::now() + kAckBeforeRestart;
        unit_->changed.notify_all();

        std::optional<SimulatedDevice::Request> request;
        if (unit_->device.requests().size() > logged)
            request = unit_->device.requests().back();
        auto observer = unit_->observer;
        guard.unlock();
        if (observer && request)
            observer(unit_->index, *request);
        return true;
    }

    // A read from a device that went away never completes: it times out and is
    // cancelled, as a pending transfer on an unplugged device can.
    bool read(uint8_t (&transfer)[kHidTransferSize], int timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::unique_lock<std::mutex> guard(unit_->lock);
        const bool ready = unit_->changed.wait_until(guard, deadline, [&] {
            return aliveLocked() && !inbox_.reports.empty();
        });
        const auto slot = ready ? unit_->nextSlot(deadline) : std::nullopt;
        if (!slot) {
            // Timed out and cancelled; a reply not yet moved stays queued.
            ++unit_->cancelled;
            guard.unlock();
            std::this_thread::sleep_until(deadline);
            return false;
        }
        const std::array<uint8_t, kReportSize> reply = inbox_.reports.front();
        inbox_.reports.pop_front();
        guard.unlock();
        std::this_thread::sleep_until(*slot);
        transfer[0] = 0;
        std::memcpy(transfer + 1, reply.data(), kReportSize);
        return true;
    }

private:
    bool aliveLocked() const {
        return inbox_.generation == unit_->generation && unit_->presentLocked(Clock::now());
    }

    std::shared_ptr<SimulatedHidSystem::Unit> unit_;
    const size_t interface_;
    std::shared_ptr<int> claim_; // shared with duplicates, as an OS lock on one open file is
    Inbox inbox_;
};

} // namespace

SimulatedHidSystem::SimulatedHidSystem(const SimulatedDeviceConfig& config)
    : SimulatedHidSystem(std::vector<SimulatedDeviceConfig>{config}) {}

SimulatedHidSystem::SimulatedHidSystem(const std::vector<SimulatedDeviceConfig>& configs) {
    // One index across all entries keeps the paths apart, also for equal IDs.
    size_t paths = 0;
    for (const SimulatedDeviceConfig& config : configs)
        for (int i = 0; i < config.count; ++i) {
            units_.push_back(std::make_shared<Unit>(config, units_.size(), paths));
            paths += static_cast<size_t>(config.interfaces);
        }
}

SimulatedHidSystem::~SimulatedHidSystem() = default;

bool SimulatedHidSystem::listInterfaces(std::vector<HidInterface>& interfaces) {
    interfaces.clear();
    const auto now = Clock::now();
    for (const auto& unit : units_) {
        std::lock_guard<std::mutex> guard(unit->lock);
        if (unit->presentLocked(now))
            for (const std::string& path : unit->paths)
                interfaces.push_back({path, unit->config.serial, unit->location});
    }
    return true;
}

HidOpenStatus SimulatedHidSystem::open(const std::string& path,
                                       std::unique_ptr<HidConnection>& connection) {
    for (const auto& unit : units_) {
        const auto at = std::find(unit->paths.begin(), unit->paths.end(), path);
        if (at == unit->paths.end())
            continue;
        uint64_t generation;
        {
            std::lock_guard<std::mutex> guard(unit->lock);
            if (!unit->presentLocked(Clock::now()))
                return HidOpenStatus::Gone;
            if (unit->config.busy)
                return HidOpenStatus::Busy;
            generation = unit->generation;
        }
        connection = std::make_unique<SimulatedConnection>(
            unit, static_cast<size_t>(at - unit->paths.begin()), generation);
        return HidOpenStatus::Opened;
    }
    return HidOpenStatus::Failed;
}

size_t SimulatedHidSystem::deviceCount() const {
    return units_.size();
}

std::string SimulatedHidSystem::path(size_t index) const {
    return units_.at(index)->paths.front();
}

bool SimulatedHidSystem::present(size_t index) const {
    Unit& unit = *units_.at(index);
    std::lock_guard<std::mutex> guard(unit.lock);
    return unit.presentLocked(Clock::now());
}

void SimulatedHidSystem::unplug(size_t index, int replugAfterMs) {
    Unit& unit = *units_.at(index);
    std::lock_guard<std::mutex> guard(unit.lock);
    unit.goAway(replugAfterMs);
}

void SimulatedHidSystem::withDevice(
    size_t index, const std::function<void(const SimulatedDevice&)>& inspect) const {
    Unit& unit = *units_.at(index);
    std::lock_guard<std::mutex> guard(unit.lock);
    inspect(unit.device);
}

int SimulatedHidSystem::cancelledTransfers(size_t index) const {
    Unit& unit = *units_.at(index);
    std::lock_guard<std::mutex> guard(unit.lock);
    return unit.cancelled;
}

void SimulatedHidSystem::setObserver(
    std::function<void(size_t index, const SimulatedDevice::Request&)> observer) {
    for (const auto& unit : units_) {
        std::lock_guard<std::mutex> guard(unit->lock);
        unit->observer = observer;
    }
}
