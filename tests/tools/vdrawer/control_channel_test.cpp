#include "support/drawer_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace vdrawer::test {
namespace {

using namespace std::chrono_literals;
using testing::StartsWith;
using SteadyClock = std::chrono::steady_clock;

class ControlChannel : public DrawerFixture {};

TEST_F(ControlChannel, RxReportsExactlyWhatArrivedAndClears) {
    send({0x1D, 0x1B, 0x0F, 0x0C, 0xAA, 0x00, 0xFF, 0x1C});
    EXPECT_EQ(vd_.command("WAITRX 8 10000"), "OK 8");
    EXPECT_EQ(vd_.command("RX"), "OK 1D 1B 0F 0C AA 00 FF 1C");
    EXPECT_EQ(vd_.command("RX"), "OK");

    const auto sent = SteadyClock::now();
    EXPECT_EQ(vd_.command("WAITRX 1 300"), "ERR TIMEOUT 0");
    EXPECT_GE(SteadyClock::now() - sent, 300ms);
    EXPECT_EQ(vd_.command("WAITRX 0 300"), "OK 0");
}

TEST_F(ControlChannel, WaitRxAnswersLaterWithoutHoldingUpOthers) {
    ControlClient waiter(vd_.port());
    ControlClient other(vd_.port());
    // PING queued behind the wait: its answer must not overtake the wait's.
    waiter.send_raw("WAITRX 3 10000\nPING\n");
    EXPECT_EQ(other.command("PING"), "OK PONG");
    EXPECT_EQ(other.command("STATE"), "OK CLOSED");
    EXPECT_FALSE(waiter.read_line(50ms));

    send({0x01, 0x02});
    send({0x03});
    EXPECT_EQ(waiter.read_line(kGuard), "OK 3");
    EXPECT_EQ(waiter.read_line(kGuard), "OK PONG");

    // A client that leaves while waiting must not take the drawer with it.
    {
        ControlClient leaver(vd_.port());
        leaver.send_raw("WAITRX 100 10000\nPING\n");
        EXPECT_FALSE(leaver.read_line(50ms)) << "still waiting";
    }
    send({0x04});
    EXPECT_EQ(vd_.command("PING"), "OK PONG");
}

TEST_F(ControlChannel, LinesAreFramedLeniently) {
    ControlClient client(vd_.port());
    client.send_raw("ping\r\n\n  \r\n  state  \nPING\nFOO bar\nMODE\n");
    EXPECT_EQ(client.read_line(kGuard), "OK PONG");
    EXPECT_EQ(client.read_line(kGuard), "OK CLOSED");
    EXPECT_EQ(client.read_line(kGuard), "OK PONG");
    EXPECT_EQ(client.read_line(kGuard), "ERR UNKNOWN FOO");
    EXPECT_THAT(client.read_line(kGuard).value_or(""), StartsWith("ERR "));

    // A command split over several sends.
    client.send_raw("ST");
    client.send_raw("ATS\n");
    EXPECT_EQ(client.read_line(kGuard), "OK requests=0 opens=0 bytes=0");
}

class ControlChannelWithAutoClose : public DrawerFixture {
protected:
    ControlChannelWithAutoClose() : DrawerFixture({"--auto-close-ms", "700"}) {}
};

TEST_F(ControlChannelWithAutoClose, StatsCountAndResetRestoresTheStartingPoint) {
    EXPECT_EQ(ask(), kClosedReply);
    send({0xEE});
    send(kOpenCommand);
    EXPECT_EQ(ask(), kOpenReply);
    expect_received(13);
    EXPECT_EQ(vd_.command("STATS"), "OK requests=2 opens=1 bytes=13");

    expect_ok("MODE SILENT");
    expect_ok("DELAY 8000");
    expect_ok("SCRIPT - -");
    expect_ok("AUTOCLOSE 0");
    expect_ok("UNAVAILABLE");
    expect_ok("UNPLUG");

    expect_ok("RESET");
    EXPECT_EQ(vd_.command("STATS"), "OK requests=0 opens=0 bytes=0");
    EXPECT_EQ(vd_.command("STATE"), "OK CLOSED");
    EXPECT_EQ(vd_.command("RX"), "OK");
    ASSERT_TRUE(vd_.link_target());

    serial_ = SerialClient(vd_.link_path());
    serial_.send_status_request();
    // Well before the old 8 s delay would have let it through.
    EXPECT_EQ(serial_.read_exactly(1, 4000ms), kClosedReply);

    // Auto-close is back to the command line's value.
    const auto opened = SteadyClock::now();
    expect_ok("OPEN");
    std::string state;
    while ((state = vd_.command("STATE")) == "OK OPEN" && SteadyClock::now() - opened < kGuard) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(state, "OK CLOSED");
    EXPECT_GE(SteadyClock::now() - opened, 700ms);
}

} // namespace
} // namespace vdrawer::test
