// Faults of the virtual drawer's line: unplug and plug, a port hidden or busy for new opens, and what
// the drawer reports of its client.
#include "support/drawer_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace vdrawer::test {
namespace {

using namespace std::chrono_literals;

class LineFaults : public DrawerFixture {};

// User plus system CPU time the process has used so far.
std::chrono::milliseconds cpu_time(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) {
        fields >> skip;
    }
    long utime = 0;
    long stime = 0;
    fields >> utime >> stime;
    return std::chrono::milliseconds((utime + stime) * 1000 / ::sysconf(_SC_CLK_TCK));
}

TEST_F(LineFaults, UnplugBreaksThePortAndPlugGivesAWorkingNewOne) {
    expect_ok("OPEN");
    expect_ok("MODE BOTH");
    EXPECT_EQ(ask(2), (Bytes{0x1F, 0x19}));

    expect_ok("UNPLUG");
    EXPECT_FALSE(vd_.link_target());
    errno = 0;
    EXPECT_FALSE(serial_.write(kRequest));
    EXPECT_EQ(errno, EIO);
    expect_ok("UNPLUG");

    expect_ok("PLUG");
    const auto target = vd_.link_target();
    ASSERT_TRUE(target);
    SerialClient replugged(vd_.link_path());
    replugged.send_status_request();
    EXPECT_EQ(replugged.read_exactly(2, kGuard), (Bytes{0x1F, 0x19})) << "drawer state and mode survive";

    expect_ok("PLUG");
    EXPECT_EQ(vd_.link_target(), target);
}

TEST_F(LineFaults, UnavailableHidesThePortFromNewOpensOnly) {
    const auto target = vd_.link_target();
    ASSERT_TRUE(target);

    expect_ok("UNAVAILABLE");
    EXPECT_FALSE(vd_.link_target());
    EXPECT_EQ(::open(vd_.link_path().c_str(), O_RDWR | O_NOCTTY), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(ask(), kClosedReply) << "whoever holds the port keeps it";
    expect_ok("UNAVAILABLE");

    expect_ok("AVAILABLE");
    EXPECT_EQ(vd_.link_target(), target);
    SerialClient second(vd_.link_path());
    second.send_status_request();
    EXPECT_EQ(second.read_exactly(1, kGuard), kClosedReply);

    // Availability and plugging are independent: plugging back in keeps the link hidden.
    expect_ok("UNAVAILABLE");
    expect_ok("UNPLUG");
    expect_ok("PLUG");
    EXPECT_FALSE(vd_.link_target());
    expect_ok("AVAILABLE");
    EXPECT_TRUE(vd_.link_target());
}

// A port another program holds: new opens meet a directory (Wine: error 5), root's too.
TEST_F(LineFaults, BusyRefusesNewOpensUntilAvailable) {
    expect_ok("BUSY");
    EXPECT_EQ(::open(vd_.link_path().c_str(), O_RDWR | O_NOCTTY), -1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(ask(), kClosedReply) << "whoever holds the port keeps it";
    expect_ok("AVAILABLE");
    EXPECT_NE(vd_.link_target().value_or("/"), "/") << "the drawer's port again";
}

TEST_F(LineFaults, LineTellsWhetherTheClientHoldsThePortAndDisturbsNeither) {
    EXPECT_EQ(vd_.command("LINE"), "OK HELD");
    EXPECT_EQ(ask(), kClosedReply);
    serial_.close();
    EXPECT_EQ(vd_.command("LINE"), "OK FREE");
    EXPECT_EQ(vd_.command("LINE"), "OK FREE");
    serial_ = SerialClient(vd_.link_path());
    EXPECT_EQ(vd_.command("LINE"), "OK HELD");
    EXPECT_EQ(ask(), kClosedReply);
    expect_ok("UNPLUG");
    EXPECT_EQ(vd_.command("LINE"), "OK FREE");
}

TEST_F(LineFaults, PortCanBeClosedAndReopenedWithoutTheDrawerSpinning) {
    serial_.close();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        SerialClient client(vd_.link_path());
        client.send_status_request();
        EXPECT_EQ(client.read_exactly(1, kGuard), kClosedReply);
    }

    // With no client holding the port, a hang-up on the master would make poll() return at once, forever.
    const auto before = cpu_time(vd_.pid());
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(cpu_time(vd_.pid()) - before, 250ms);

    serial_ = SerialClient(vd_.link_path());
    EXPECT_EQ(ask(), kClosedReply);
}

} // namespace
} // namespace vdrawer::test
