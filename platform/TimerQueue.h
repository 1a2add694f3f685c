#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

struct PlatformWindow;

// The window timers of one backend, on a millisecond clock the backend reads:
// due times, the one-shot rule (on a window that keeps it, ids below 4097 fire once;
// every other timer repeats) and the system's floor of 10 ms. User-interface thread only.
class TimerQueue {
public:
    static constexpr uint32_t kFirstRepeatingId = 4097;
    static constexpr uint32_t kFloorMs = 10;

    // Starting a running timer restarts it. oneShotWindow: the window keeps the
    // one-shot rule.
    void start(PlatformWindow* window, uint32_t id, uint32_t milliseconds, uint64_t nowMs, bool oneShotWindow);
    void stop(PlatformWindow* window, uint32_t id);
    // Every timer of a window that goes.
    void forget(PlatformWindow* window);

    bool running(PlatformWindow* window, uint32_t id) const { return timers_.count({window, id}) != 0; }
    // 0 when not running.
    uint32_t interval(PlatformWindow* window, uint32_t id) const;
    std::optional<uint64_t> nextDue() const;
    // When a loop must wake at the latest: a repeating timer may fire up to a fifth
    // of its interval (at most 10 ms) late, so that timers due close together share
    // one wake-up; its ticks stay on their schedule. One-shot timers never wait.
    std::optional<uint64_t> nextDeadline() const;
    static constexpr uint32_t kMaxSlackMs = 10;

    // Takes the earliest timer due at nowMs (of several due together, the one
    // started first): a one-shot one is gone, a repeating one
    // is due again one interval on, but never at or before nowMs, so a stalled loop
    // gets one tick and not a burst, and each timer fires once per call round.
    // Handlers may start and stop timers between calls.
    bool takeDue(uint64_t nowMs, PlatformWindow*& window, uint32_t& id);

private:
    struct Timer {
        uint32_t interval = 0;
        uint64_t due = 0;
        uint64_t order = 0; // timers due together fire in the order they were started
        bool oneShot = false;
    };
    uint64_t nextOrder_ = 0;
    std::map<std::pair<PlatformWindow*, uint32_t>, Timer> timers_;
};
