#include "support/drawer_fixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace vdrawer::test {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

class StatusReplies : public DrawerFixture {};

TEST_F(StatusReplies, NormalAnswerFollowsTheDrawer) {
    EXPECT_EQ(ask(), kClosedReply);

    send(kOpenCommand);
    expect_received(8);
    EXPECT_EQ(vd_.command("STATE"), "OK OPEN");
    // Closing by hand before asking: an answer to the open command would show up as a stray 19 first.
    expect_ok("CLOSE");
    EXPECT_EQ(ask(), kClosedReply);

    expect_ok("OPEN");
    EXPECT_EQ(ask(), kOpenReply);
    EXPECT_EQ(vd_.command("STATS"), "OK requests=3 opens=1 bytes=16");
}

TEST_F(StatusReplies, FaultModesShapeTheAnswer) {
    struct Case {
        const char* mode;
        const char* drawer;
        Bytes expected;
    };
    const Case cases[] = {
        {"MODE GARBAGE", "CLOSE", {0x00, 0x41, 0x42}},
        {"MODE GARBAGE", "OPEN", {0x00, 0x41, 0x42}},
        {"MODE BOTH", "CLOSE", {0x19, 0x1F}},
        {"MODE BOTH", "OPEN", {0x1F, 0x19}},
        {"MODE NORMAL", "OPEN", {0x19}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " with the drawer " + c.drawer);
        expect_ok(c.mode);
        expect_ok(c.drawer);
        EXPECT_EQ(ask(c.expected.size()), c.expected);
    }

    // Silent: the request goes unanswered, so the next answer (drawer open by then) is the first byte.
    expect_ok("CLOSE");
    expect_ok("MODE SILENT");
    clear_rx();
    serial_.send_status_request();
    expect_received(4);
    expect_ok("MODE NORMAL");
    expect_ok("OPEN");
    EXPECT_EQ(ask(), kOpenReply);
}

TEST_F(StatusReplies, OpenCommandOpensAndAutoCloseShutsItLater) {
    expect_ok("AUTOCLOSE 1000");
    const auto sent = SteadyClock::now();
    send(kOpenCommand);
    expect_received(4);
    EXPECT_EQ(vd_.command("STATE"), "OK OPEN");

    std::string state;
    while ((state = vd_.command("STATE")) == "OK OPEN" && SteadyClock::now() - sent < kGuard) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(state, "OK CLOSED");
    EXPECT_GE(SteadyClock::now() - sent, 1000ms) << "closed before its time";
    EXPECT_EQ(ask(), kClosedReply);
}

TEST_F(StatusReplies, SplitAndDelayHoldBackTheStatusByte) {
    struct Case {
        const char* mode;
        const char* delay;
        std::chrono::milliseconds noise_not_before;
        std::chrono::milliseconds status_not_before;
    };
    const Case cases[] = {
        {"MODE SPLIT 300", "DELAY 0", 0ms, 300ms},
        {"MODE SPLIT 300", "DELAY 200", 200ms, 500ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + ", " + c.delay);
        expect_ok(c.mode);
        expect_ok(c.delay);
        const auto sent = SteadyClock::now();
        serial_.send_status_request();
        EXPECT_EQ(serial_.read_exactly(1, kGuard), Bytes{0x00});
        EXPECT_GE(SteadyClock::now() - sent, c.noise_not_before);
        EXPECT_EQ(serial_.read_exactly(1, kGuard), kClosedReply);
        EXPECT_GE(SteadyClock::now() - sent, c.status_not_before);
    }

    expect_ok("MODE NORMAL");
    expect_ok("DELAY 400");
    const auto sent = SteadyClock::now();
    EXPECT_EQ(ask(), kClosedReply);
    EXPECT_GE(SteadyClock::now() - sent, 400ms);
}

TEST_F(StatusReplies, ScriptAnswersInOrderThenTheModeTakesOver) {
    expect_ok("SCRIPT 19 - 004142 1f19");
    EXPECT_EQ(ask(), kOpenReply) << "a scripted answer ignores the drawer state";
    // The silent item leaves no trace before the next item's answer.
    serial_.send_status_request();
    EXPECT_EQ(ask(3), (Bytes{0x00, 0x41, 0x42}));
    EXPECT_EQ(ask(2), (Bytes{0x1F, 0x19}));
    EXPECT_EQ(ask(), kClosedReply);

    expect_ok("SCRIPT 19 19");
    expect_ok("SCRIPT");
    EXPECT_EQ(ask(), kClosedReply);
    EXPECT_EQ(vd_.command("STATS"), "OK requests=6 opens=0 bytes=24");

    EXPECT_EQ(vd_.command("SCRIPT 19 zz"), "ERR BAD HEX zz");
    EXPECT_EQ(ask(), kClosedReply) << "a refused script must not be half applied";
}

} // namespace
} // namespace vdrawer::test
