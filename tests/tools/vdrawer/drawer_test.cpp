#include "drawer.h"

#include <gtest/gtest.h>

#include <vector>

namespace vdrawer {
namespace {

using namespace std::chrono_literals;

const Bytes kRequest(wire::kStatusRequest.begin(), wire::kStatusRequest.end());
const Bytes kOpen(wire::kOpenCommand.begin(), wire::kOpenCommand.end());

// The drawer on a fake clock, with everything it writes captured.
class DrawerTest : public testing::Test {
protected:
    explicit DrawerTest(std::chrono::milliseconds auto_close = 0ms)
        : drawer_(timers_, auto_close, [this](std::span<const std::uint8_t> bytes) {
              written_.insert(written_.end(), bytes.begin(), bytes.end());
          }) {}

    void receive(const Bytes& bytes) { drawer_.receive(bytes, now_); }
    void advance_to(std::chrono::milliseconds since_start) {
        now_ = t0_ + since_start;
        timers_.run_due(now_);
    }
    Bytes take_written() { return std::exchange(written_, {}); }

    const Clock::time_point t0_{};
    Clock::time_point now_ = t0_;
    TimerQueue timers_;
    Bytes written_;
    Drawer drawer_;
};

TEST_F(DrawerTest, AnswersRequestsAndOpensOnCommand) {
    receive(kRequest);
    EXPECT_EQ(take_written(), Bytes{0x1F});

    receive(kOpen);
    EXPECT_TRUE(drawer_.is_open());
    EXPECT_EQ(take_written(), Bytes{}) << "the open command has no answer";

    Bytes noisy{0xAA};
    noisy.insert(noisy.end(), kRequest.begin(), kRequest.end());
    receive(noisy);
    EXPECT_EQ(take_written(), Bytes{0x19});

    EXPECT_EQ(drawer_.stats().requests, 2u);
    EXPECT_EQ(drawer_.stats().opens, 1u);
    EXPECT_EQ(drawer_.stats().bytes, 13u);
    EXPECT_EQ(drawer_.rx_size(), 13u);
}

TEST_F(DrawerTest, ReopeningRestartsTheAutoCloseCountdown) {
    drawer_.set_auto_close(1000ms);
    receive(kOpen);
    advance_to(600ms);
    drawer_.open(now_);
    advance_to(1500ms);
    EXPECT_TRUE(drawer_.is_open());
    advance_to(1600ms);
    EXPECT_FALSE(drawer_.is_open());
}

TEST_F(DrawerTest, DelayedAnswersNeverReachALaterLine) {
    drawer_.replies().set_delay(100ms);
    receive(kRequest);
    drawer_.line_dropped();
    advance_to(200ms);
    EXPECT_EQ(take_written(), Bytes{});

    receive(kRequest);
    advance_to(299ms);
    EXPECT_EQ(take_written(), Bytes{});
    advance_to(300ms);
    EXPECT_EQ(take_written(), Bytes{0x1F});
}

TEST_F(DrawerTest, LogIsCappedButEveryByteIsCounted) {
    const Bytes chunk(Drawer::kRxLogCap - 3, 0x55);
    receive(chunk);
    receive(kRequest);
    receive(Bytes{0x01, 0x02});
    EXPECT_EQ(drawer_.rx_size(), Drawer::kRxLogCap);
    EXPECT_EQ(drawer_.stats().bytes, Drawer::kRxLogCap + 3);
    EXPECT_EQ(drawer_.stats().requests, 1u) << "scanning goes on past the cap";

    const Bytes log = drawer_.take_rx();
    EXPECT_EQ(Bytes(log.end() - 3, log.end()), (Bytes{0x1D, 0x1B, 0x0F}));
    EXPECT_EQ(drawer_.rx_size(), 0u);
}

class DrawerWithDefaultAutoClose : public DrawerTest {
protected:
    DrawerWithDefaultAutoClose() : DrawerTest(300ms) {}
};

TEST_F(DrawerWithDefaultAutoClose, ResetForgetsEverythingSinceStart) {
    drawer_.set_auto_close(0ms);
    drawer_.replies().set_mode({ReplyMode::Silent, 0ms});
    drawer_.replies().set_delay(50ms);
    receive(kOpen);
    receive(kRequest);
    receive(Bytes{0x1D, 0x1B}); // half a request

    drawer_.reset();
    EXPECT_FALSE(drawer_.is_open());
    EXPECT_EQ(drawer_.rx_size(), 0u);
    EXPECT_EQ(drawer_.stats().requests, 0u);
    EXPECT_EQ(drawer_.stats().opens, 0u);
    EXPECT_EQ(drawer_.stats().bytes, 0u);

    receive(Bytes{0x0F, 0x0C}); // the other half must not complete the old request
    EXPECT_EQ(drawer_.stats().requests, 0u);
    receive(kRequest);
    EXPECT_EQ(take_written(), Bytes{0x1F}) << "prompt, normal answer";

    drawer_.open(now_);
    advance_to(299ms);
    EXPECT_TRUE(drawer_.is_open());
    advance_to(300ms);
    EXPECT_FALSE(drawer_.is_open()) << "auto-close is back to its start-up value";
}

} // namespace
} // namespace vdrawer
