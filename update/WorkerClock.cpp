#include "WorkerClock.h"

#include "CEvent.h"

#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class RealWorkerClock : public WorkerClock {
public:
    int64_t nowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   Clock::now().time_since_epoch())
            .count();
    }
    void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    bool waitMs(CEvent& event, int ms) override {
        return event.wait(std::chrono::milliseconds(ms));
    }
};

} // namespace

std::shared_ptr<WorkerClock> WorkerClock::real() {
    static const std::shared_ptr<WorkerClock> clock = std::make_shared<RealWorkerClock>();
    return clock;
}

int64_t FastWorkerClock::nowMs() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_);
    return (elapsed.count() + skippedUs_.load()) / 1000;
}

void FastWorkerClock::skip(Clock::duration waited) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(waited).count();
    skippedUs_ += us * (speedup_ - 1);
}

void FastWorkerClock::sleepMs(int ms) {
    const auto before = Clock::now();
    std::this_thread::sleep_for(std::chrono::microseconds(int64_t{ms} * 1000 / speedup_));
    skip(Clock::now() - before);
}

bool FastWorkerClock::waitMs(CEvent& event, int ms) {
    const auto before = Clock::now();
    const bool signalled = event.wait(std::chrono::microseconds(int64_t{ms} * 1000 / speedup_));
    skip(Clock::now() - before);
    return signalled;
}
