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
