#include "timer_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace vdrawer {
namespace {

using namespace std::chrono_literals;

TEST(TimerQueue, RunsWhatIsDueInOrderAndKeepsTheRest) {
    TimerQueue timers;
    const Clock::time_point t0{};
    std::string log;
    timers.add(t0 + 30ms, [&](TimerQueue::Id) { log += 'c'; });
    timers.add(t0 + 10ms, [&](TimerQueue::Id) { log += 'a'; });
    timers.add(t0 + 20ms, [&](TimerQueue::Id) { log += 'b'; });
    timers.add(t0 + 20ms, [&](TimerQueue::Id) { log += 'B'; });

    timers.run_due(t0 + 5ms);
    EXPECT_EQ(log, "");
    timers.run_due(t0 + 20ms);
    EXPECT_EQ(log, "abB");
    EXPECT_EQ(timers.next_due(), t0 + 30ms);
    timers.run_due(t0 + 1s);
    EXPECT_EQ(log, "abBc");
    EXPECT_FALSE(timers.next_due());
}

TEST(TimerQueue, CancelledTimersNeverRun) {
    TimerQueue timers;
    const Clock::time_point t0{};
    int runs = 0;
    const TimerQueue::Id id = timers.add(t0 + 10ms, [&](TimerQueue::Id) { ++runs; });
    timers.cancel(id);
    timers.cancel(id);
    timers.cancel(12345);
    timers.run_due(t0 + 1s);
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(timers.empty());
}

TEST(TimerQueue, CallbacksMayAddAndCancelTimers) {
    TimerQueue timers;
    const Clock::time_point t0{};
    std::string log;
    TimerQueue::Id victim = 0;
    timers.add(t0 + 10ms, [&](TimerQueue::Id self) {
        log += 'a';
        EXPECT_NE(self, victim);
        timers.cancel(victim);
        // Already due: runs in this same pass.
        timers.add(t0 + 10ms, [&](TimerQueue::Id) { log += 'n'; });
    });
    victim = timers.add(t0 + 15ms, [&](TimerQueue::Id) { log += 'v'; });
    timers.run_due(t0 + 20ms);
    EXPECT_EQ(log, "an");
    EXPECT_TRUE(timers.empty());
}

} // namespace
} // namespace vdrawer
