#include "TimerQueue.h"
#include "UiPlatform.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Runs the queue like an event loop polled at the given times; returns the ticks as "id@ms".
std::vector<std::string> ticksAt(TimerQueue& queue, const std::vector<uint64_t>& turns) {
    std::vector<std::string> ticks;
    for (uint64_t now : turns) {
        PlatformWindow* window = nullptr;
        uint32_t id = 0;
        while (queue.takeDue(now, window, id))
            ticks.push_back(std::to_string(id) + "@" + std::to_string(now));
    }
    return ticks;
}

} // namespace

TEST(TimerQueue, DueTimesOneShotRuleAndFloor) {
    PlatformWindow a, b;
    TimerQueue queue;
    queue.start(&a, 2, 200, 0, true);     // below 4097 on a one-shot window: once
    queue.start(&a, 4099, 50, 0, true);   // repeats
    queue.start(&b, 8192, 1, 0, false);   // raised to the 10 ms floor
    queue.start(&b, 2, 100, 0, false);    // below 4097 elsewhere: repeats
    EXPECT_EQ(queue.interval(&b, 8192), TimerQueue::kFloorMs);
    EXPECT_EQ(queue.nextDue(), 10u);
    EXPECT_EQ(queue.nextDeadline(), 12u) << "a fifth of 10 ms late at most";
    // A turn at 30 ms sees the 10 ms timer once (no burst after a stall); timers due
    // together fire in the order they were started.
    EXPECT_EQ(ticksAt(queue, {30, 50, 200, 260}),
              (std::vector<std::string>{"8192@30", "8192@50", "4099@50", "8192@200", "4099@200", "2@200",
                                        "2@200", "4099@260", "8192@260", "2@260"}));
    EXPECT_FALSE(queue.running(&a, 2));
    EXPECT_TRUE(queue.running(&a, 4099));

    // Restarting moves the due time; stopping and forgetting end timers.
    queue.start(&a, 4099, 50, 260, true);
    EXPECT_EQ(ticksAt(queue, {300}), (std::vector<std::string>{"8192@300"}));
    queue.stop(&b, 8192);
    queue.stop(&b, 2);
    EXPECT_EQ(queue.nextDeadline(), 310u + 10u) << "at most 10 ms late";
    queue.start(&a, 256, 400, 300, true);
    EXPECT_EQ(queue.nextDeadline(), 310u + 10u);
    queue.start(&a, 256, 10, 300, true);
    EXPECT_EQ(queue.nextDeadline(), 310u) << "a one-shot timer never waits";
    queue.forget(&a);
    EXPECT_FALSE(queue.nextDue());
    EXPECT_EQ(queue.interval(&a, 4099), 0u);
}
