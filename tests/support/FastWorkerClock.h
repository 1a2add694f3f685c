#pragma once

#include "WorkerClock.h"

#include <atomic>
#include <chrono>
#include <cstdint>

// Waits last 1/speedup of their time, and the clock jumps ahead by the rest, so
// that time spent outside the clock's waits (device transfers) still counts fully.
class FastWorkerClock : public WorkerClock {
public:
    explicit FastWorkerClock(int speedup) : speedup_(speedup < 1 ? 1 : speedup) {}
    int64_t nowMs() override;
    void sleepMs(int ms) override;
    bool waitMs(CEvent& event, int ms) override;

private:
    void skip(std::chrono::steady_clock::duration waited);

    const int speedup_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::atomic<int64_t> skippedUs_{0};
};
