#include "FastWorkerClock.h"

#include "CEvent.h"

#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
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
