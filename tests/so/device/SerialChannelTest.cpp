// The serial channel against the virtual drawer on a real pseudo-terminal:
// the bytes on the wire, reply classification, and ports that cannot be had.
#include "Elapsed.h"
#include "FaultyPortApi.h"
#include "VirtualDrawer.h"
#include "device/DrawerLink.h"
#include "device/SerialPort.h"

#include <gtest/gtest.h>

#include <atomic>

namespace vtx::test {
namespace {

class SerialChannel : public ::testing::Test {
protected:
    void SetUp() override { drawer.Reset(); }
    bool Open() { return link.Open(drawer.PortName(), 9600); }
    // One status exchange as the monitor makes it: 1 open, 0 closed, -1 no answer.
    // No answer drops the port; the next exchange starts on a fresh one.
    int Exchange() {
        if (!link.IsOpen() && !Open()) {
            return -2;
        }
        bool answered = false;
        bool open = link.QueryDrawerState(false, &answered);
        return answered ? (open ? 1 : 0) : -1;
    }

    VirtualDrawer drawer;
    CTraceLog trace;
    std::atomic<long> drawerOpened{0};
    CDrawerLink link{trace, drawerOpened};
};

TEST_F(SerialChannel, StatusRequestPutsExactlyItsFourBytesOnTheWire) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(link.SendStatusRequest());
    drawer.Expect("WAITRX 4 5000");
    EXPECT_EQ(drawer.Received(), "1D 1B 0F 0C");
}

TEST_F(SerialChannel, RepliesAreClassifiedByTheirSignificantByte) {
    ASSERT_TRUE(Open());
    EXPECT_EQ(Exchange(), 0);
    drawer.Expect("OPEN");
    EXPECT_EQ(Exchange(), 1);

    drawer.Expect("MODE BOTH"); // open: 1F 19
    EXPECT_EQ(Exchange(), 1);
    drawer.Expect("CLOSE"); // closed: 19 1F
    EXPECT_EQ(Exchange(), 0);

    drawer.Expect("MODE SPLIT 10"); // 00, then the status byte in a later read
    EXPECT_EQ(Exchange(), 0);
    drawer.Expect("MODE NORMAL");
    drawer.Expect("DELAY 120"); // a late reply is still found by a later read
    EXPECT_EQ(Exchange(), 0);
}

TEST_F(SerialChannel, NoiseOrSilenceIsNoAnswer) {
    ASSERT_TRUE(Open());
    drawer.Expect("MODE GARBAGE");
    EXPECT_EQ(Exchange(), -1);
    drawer.Expect("MODE SILENT");
    EXPECT_EQ(Exchange(), -1);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(link.QueryDrawerState(true)); // the last known state stands
    EXPECT_FALSE(link.IsOpen());
    drawer.Expect("MODE NORMAL");
    // The scripted answers come one per request, in order.
    drawer.Expect("SCRIPT 004142 1F19 191F -");
    EXPECT_EQ(Exchange(), -1);
    EXPECT_EQ(Exchange(), 1);
    EXPECT_EQ(Exchange(), 0);
    EXPECT_EQ(Exchange(), -1);
    EXPECT_EQ(Exchange(), 0); // script used up: normal answers again
}

// A reply that came after its exchange gave up is still in the line when the next request goes out.
// A driver that refuses to purge has its input read empty instead.
TEST_F(SerialChannel, ALateReplyIsNeverTakenForTheAnswerToALaterRequest) {
    FaultyPortApi api;
    for (bool refusePurge : {false, true}) {
        SCOPED_TRACE(refusePurge);
        api.m_refusePurge = refusePurge;
        drawer.Expect("DELAY 600");
        EXPECT_EQ(Exchange(), -1);
        Sleep(800); // the late "closed" has arrived
        drawer.Expect("DELAY 0");
        drawer.Expect("MODE SILENT");
        EXPECT_EQ(Exchange(), -1);
        drawer.Expect("MODE NORMAL");
        EXPECT_EQ(Exchange(), 0);
    }
}

// Each row makes one set-up call fail once: the port is left closed, so the
// next open starts afresh instead of finding a half set-up handle in the way.
TEST_F(SerialChannel, AnOpenThatCannotFinishSettingUpThePortClosesIt) {
    FaultyPortApi api;
    for (auto fail :
         {FaultyPortApi::Fail::GetState, FaultyPortApi::Fail::SetState, FaultyPortApi::Fail::SetTimeouts}) {
        SCOPED_TRACE(static_cast<int>(fail));
        api.m_failOnce = fail;
        EXPECT_FALSE(Open());
        EXPECT_FALSE(link.IsOpen());
        ASSERT_TRUE(Open());
        EXPECT_EQ(Exchange(), 0);
        drawer.Expect("MODE SILENT");
        EXPECT_EQ(Exchange(), -1); // drops the port for the next row
        drawer.Expect("MODE NORMAL");
    }
}

// The write limit a command gets, from the time-outs the port's last user left in the driver.
TEST(SerialPortOpen, AWriteLimitIsSetWhereThereIsNoneAndCappedWhereItIsLong) {
    VirtualDrawer drawer;
    drawer.Reset();
    FaultyPortApi api;
    api.m_siteWrite = true;
    struct Row {
        DWORD multiplier, constant, limit;
    };
    for (const Row& r : {Row{0, 0, 1000}, Row{0, 2000, 2000}, Row{10, 300, 340}, Row{0, 600000, 5000},
                         Row{100000, 0, 5000}}) {
        SCOPED_TRACE(r.constant + r.multiplier);
        api.m_siteMultiplier = r.multiplier;
        api.m_siteConstant = r.constant;
        CSerialPort port;
        ASSERT_TRUE(port.OpenConfigured(drawer.ComNumber(), 9600));
        EXPECT_EQ(api.m_lastSet.WriteTotalTimeoutMultiplier * 4 + api.m_lastSet.WriteTotalTimeoutConstant,
                  r.limit);
        EXPECT_EQ(port.ExchangeBoundMs(), r.limit + CSerialPort::kExchangeRestMs);
    }
}

TEST_F(SerialChannel, ReadWithNothingSentReturnsPromptlyWithNoAnswer) {
    ASSERT_TRUE(Open());
    auto start = Clock::now();
    EXPECT_EQ(link.ReadStatusReply(), -1);
    // Bounded by the read time-outs, not by a missing answer.
    EXPECT_LT(MsSince(start), 2000);
}

TEST_F(SerialChannel, OpenPortRefusesWhileAPortIsHeldAndLeavesItWorking) {
    ASSERT_TRUE(Open());
    EXPECT_FALSE(Open());
    EXPECT_TRUE(link.IsOpen());
    EXPECT_EQ(Exchange(), 0);
}

TEST_F(SerialChannel, NamesWithoutAValidNumberAreRefusedBeforeAnySystemCall) {
    for (const wchar_t* name : {L"COM0", L"COM256", L"", L"LPT1", L"\\\\.\\VXCR3\\", L"COM-1"}) {
        SetLastError(0xBEEF);
        EXPECT_FALSE(link.Open(name, 9600)) << "name length " << wcslen(name);
        // A failed CreateFile would have replaced the last error.
        EXPECT_EQ(GetLastError(), 0xBEEFu);
        EXPECT_FALSE(link.IsOpen());
    }
    EXPECT_FALSE(link.SendStatusRequest());
    EXPECT_EQ(link.ReadStatusReply(), -1);
}

TEST_F(SerialChannel, PortHeldElsewhereCannotBeOpened) {
    drawer.Expect("UNAVAILABLE");
    EXPECT_FALSE(Open());
    EXPECT_FALSE(link.IsOpen());
    drawer.Expect("AVAILABLE");
    EXPECT_TRUE(Open());
}

TEST_F(SerialChannel, UnpluggedDrawerFailsTheRequestAndComesBackWhenPluggedIn) {
    ASSERT_TRUE(Open());
    drawer.Expect("UNPLUG");
    EXPECT_FALSE(link.SendStatusRequest());
    EXPECT_EQ(link.ReadStatusReply(), -1);
    drawer.Expect("PLUG");
    // The old handle stays dead; a fresh open reaches the new line.
    CDrawerLink fresh{trace, drawerOpened};
    ASSERT_TRUE(fresh.Open(drawer.PortName(), 9600));
    ASSERT_TRUE(fresh.SendStatusRequest());
    drawer.Expect("WAITRX 4 5000");
}

TEST(ClosingRule, PausesBeforeClosingAnOpenPortAndNotOtherwise) {
    VirtualDrawer drawer;
    drawer.Reset();
    CSerialPort port;
    auto start = Clock::now();
    port.Close();
    EXPECT_LT(MsSince(start), 100);

    ASSERT_TRUE(port.Open(drawer.ComNumber(), 9600));
    start = Clock::now();
    port.Close();
    EXPECT_GE(MsSince(start), 95);
    EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPortOpen, OutOfRangeNumbersNeverReachTheSystem) {
    CSerialPort port;
    for (long n : {0L, -1L, 256L, 100000L}) {
        SetLastError(0xBEEF);
        EXPECT_FALSE(port.Open(n, 9600));
        EXPECT_EQ(GetLastError(), 0xBEEFu);
        EXPECT_FALSE(port.IsOpen());
    }
    EXPECT_FALSE(port.SetTimeouts());
}

} // namespace
} // namespace vtx::test
