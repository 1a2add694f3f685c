#pragma once

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
