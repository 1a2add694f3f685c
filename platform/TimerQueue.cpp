#include "TimerQueue.h"

#include <algorithm>

void TimerQueue::start(PlatformWindow* window, uint32_t id, uint32_t milliseconds, uint64_t nowMs,
                       bool oneShotWindow) {
    milliseconds = std::max(milliseconds, kFloorMs);
    timers_[{window, id}] =
        Timer{milliseconds, nowMs + milliseconds, nextOrder_++, oneShotWindow && id < kFirstRepeatingId};
}

void TimerQueue::stop(PlatformWindow* window, uint32_t id) {
    timers_.erase({window, id});
}

void TimerQueue::forget(PlatformWindow* window) {
    for (auto it = timers_.begin(); it != timers_.end();)
        it = it->first.first == window ? timers_.erase(it) : std::next(it);
}

uint32_t TimerQueue::interval(PlatformWindow* window, uint32_t id) const {
    const auto it = timers_.find({window, id});
    return it == timers_.end() ? 0 : it->second.interval;
}

std::optional<uint64_t> TimerQueue::nextDue() const {
    std::optional<uint64_t> next;
    for (const auto& [key, timer] : timers_)
        if (!next || timer.due < *next)
            next = timer.due;
    return next;
}

std::optional<uint64_t> TimerQueue::nextDeadline() const {
    std::optional<uint64_t> next;
    for (const auto& [key, timer] : timers_) {
        const uint64_t slack = timer.oneShot ? 0 : std::min(timer.interval / 5, kMaxSlackMs);
        if (!next || timer.due + slack < *next)
            next = timer.due + slack;
    }
    return next;
}

bool TimerQueue::takeDue(uint64_t nowMs, PlatformWindow*& window, uint32_t& id) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->second.due <= nowMs &&
            (next == timers_.end() || std::pair(it->second.due, it->second.order) <
                                          std::pair(next->second.due, next->second.order)))
            next = it;
    if (next == timers_.end())
        return false;
    window = next->first.first;
    id = next->first.second;
    if (next->second.oneShot)
        timers_.erase(next);
    else
        next->second.due = std::max(next->second.due + next->second.interval, nowMs + 1);
    return true;
}
