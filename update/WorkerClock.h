#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

class CEvent;

// Every wait of the update worker goes through one clock, so tests can run the
// 100 ms turns, the 2 s pauses and the 10 s and 15 s limits in a fraction of the
// time while the program keeps the real ones.
class WorkerClock {
public:
    virtual ~WorkerClock() = default;
    virtual int64_t nowMs() = 0;
    virtual void sleepMs(int ms) = 0;
    // Waits on the event for up to ms; true when it was signalled.
    virtual bool waitMs(CEvent& event, int ms) = 0;

    static std::shared_ptr<WorkerClock> real();
};

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
