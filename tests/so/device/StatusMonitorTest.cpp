// Enabling the device and the status monitor, against the virtual drawer.
#include "DrawerServiceTest.h"
#include "Elapsed.h"
#include "FaultyPortApi.h"
#include "MessagePump.h"
#include "EventMessages.h"
#include "EventRecorder.h"
#include "events/OPOSEvent.h"
#include "trace/DeviceEventLog.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace vtx::test {
namespace {

class StatusMonitor : public DrawerServiceTest {
protected:
    StatusMonitor() : DrawerServiceTest(L"VX-MON") {}
    void TearDown() override {
        CallLong(so.get(), so_dispid::Close);
        EXPECT_FALSE(Probe::StatusMonitorRunning(object));
        EXPECT_FALSE(Probe::PortIsOpen(object));
        so.reset();
        // Normal operation never has to end a worker by force.
        EXPECT_EQ(COPOSThread::ForcedStopCount(), forcedBefore);
    }

    long Claim() { return CallLong(so.get(), so_dispid::Claim, {Long(0)}); }
    // Pumps until the monitor has polled the drawer n more times.
    bool PumpPolls(int n) {
        int target = Requests() + n;
        return PumpUntil([&] { return Requests() >= target; }, 15000);
    }

    long forcedBefore = COPOSThread::ForcedStopCount();
};

TEST_F(StatusMonitor, OpenedDrawerIsReportedOnTheApplicationThread) {
    ASSERT_EQ(Claim(), 0);
    ASSERT_EQ(Enable(1), 0);
    EXPECT_EQ(Number(3), 4);
    EXPECT_EQ(Number(14), 2000);
    ASSERT_TRUE(PumpPolls(1));
    EXPECT_TRUE(co.Updates().empty()); // closed at the first poll: nothing to report

    drawer.Expect("OPEN");
    auto opened = Clock::now();
    ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == 1; }));
    EXPECT_LT(MsSince(opened), 5000); // about 1.6 s normally; generous here
    EXPECT_EQ(co.Updates()[0].status, 1);
    EXPECT_EQ(co.Updates()[0].threadId, GetCurrentThreadId());
    EXPECT_EQ(Number(1001), 1);

    drawer.Expect("CLOSE");
    ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == 2; }));
    EXPECT_EQ(co.Statuses(), (std::vector<long>{1, 0}));
    EXPECT_EQ(Number(1001), 0);
}

TEST_F(StatusMonitor, DrawerOpenAtTheFirstPollIsReported) {
    drawer.Expect("OPEN");
    ASSERT_EQ(Enable(1), 0); // not claimed: enabling opens the port itself
    ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == 1; }));
    EXPECT_EQ(co.Statuses(), std::vector<long>{1});
}

TEST_F(StatusMonitor, EnablingTwiceRunsOneMonitor) {
    ASSERT_EQ(Enable(1), 0);
    ASSERT_EQ(Enable(1), 0);
    EXPECT_EQ(Number(14), 2000);
    // One monitor polls once per 1.5 s; two would poll twice as often.
    drawer.Expect("STATS");
    ASSERT_TRUE(PumpPolls(1));
    int before = Requests();
    PumpFor(3200);
    EXPECT_LE(Requests() - before, 3);
}

TEST_F(StatusMonitor, EnablingThatCannotWorkFailsAndStartsNothing) {
    // A closed object, then an open one whose port is unusable.
    ASSERT_EQ(CallLong(so.get(), so_dispid::Close), 0);
    for (long value : {1, 0}) {
        EXPECT_EQ(Enable(value), 101); // a closed object's reads answer 101 anyway: look at the device
        EXPECT_FALSE(Probe::StatusMonitorRunning(object));
        EXPECT_FALSE(Probe::PortIsOpen(object));
    }

    device.SetPort(L"LPT1");
    ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);
    EXPECT_EQ(Enable(1), 111);
    EXPECT_EQ(Number(3), 0);
    EXPECT_FALSE(Probe::StatusMonitorRunning(object));
    EXPECT_FALSE(Probe::PortIsOpen(object));
}

TEST_F(StatusMonitor, AnyNonZeroNumberEnables) {
    // Automation's True is -1.
    ASSERT_EQ(Enable(-1), 0);
    EXPECT_EQ(Number(3), 4);
    EXPECT_TRUE(Probe::StatusMonitorRunning(object));
    ASSERT_EQ(Enable(0), 0);
    EXPECT_EQ(Number(3), 0);
    EXPECT_FALSE(Probe::StatusMonitorRunning(object));
}

TEST_F(StatusMonitor, DisablingKeepsAClaimedPortAndClosesAnUnclaimedOne) {
    ASSERT_EQ(Claim(), 0);
    ASSERT_EQ(Enable(1), 0);
    ASSERT_EQ(Enable(0), 0);
    EXPECT_TRUE(Probe::PortIsOpen(object));
    ASSERT_EQ(CallLong(so.get(), so_dispid::Release), 0);

    ASSERT_EQ(Enable(1), 0);
    EXPECT_TRUE(Probe::PortIsOpen(object));
    auto start = Clock::now();
    ASSERT_EQ(Enable(0), 0);
    EXPECT_GE(MsSince(start), 95); // the closing pause
    EXPECT_FALSE(Probe::PortIsOpen(object));
}

TEST_F(StatusMonitor, StateAtReenableIsComparedWithTheStateAtDisable) {
    ASSERT_EQ(Claim(), 0);
    drawer.Expect("OPEN");
    ASSERT_EQ(Enable(1), 0);
    ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == 1; }));
    ASSERT_EQ(Enable(0), 0);
    drawer.Expect("CLOSE");
    ASSERT_EQ(Enable(1), 0);
    ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == 2; }));
    EXPECT_EQ(co.Statuses(), (std::vector<long>{1, 0}));
    // Closed at disable and at re-enable: nothing new.
    ASSERT_EQ(Enable(0), 0);
    ASSERT_EQ(Enable(1), 0);
    ASSERT_TRUE(PumpPolls(1));
    PumpFor(200);
    EXPECT_EQ(co.Updates().size(), 2u);
}

// A stop that the old monitor saw before it waited left its request behind and
// killed every later monitor after one poll.
TEST_F(StatusMonitor, MonitorSurvivesADisableThatArrivesBeforeOrDuringAnExchange) {
    ASSERT_EQ(Claim(), 0);
    for (bool duringExchange : {false, true}) {
        SCOPED_TRACE(duringExchange ? "disabled during the first exchange"
                                    : "disabled before the first poll");
        drawer.Reset();
        const size_t base = co.Updates().size();
        if (duringExchange) {
            drawer.Expect("DELAY 150"); // answered within the read window, but late
            int before = Requests();
            ASSERT_EQ(Enable(1), 0);
            ASSERT_TRUE(PumpUntil([&] { return Requests() > before; }, 15000));
        } else {
            ASSERT_EQ(Enable(1), 0);
        }
        ASSERT_EQ(Enable(0), 0);
        drawer.Expect("DELAY 0");

        ASSERT_EQ(Enable(1), 0);
        ASSERT_TRUE(PumpPolls(2)); // past the first pause, where a leftover stop would end it
        EXPECT_TRUE(Probe::StatusMonitorRunning(object));
        drawer.Expect("OPEN");
        ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == base + 1; }));
        drawer.Expect("CLOSE");
        ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == base + 2; }));
        EXPECT_EQ(co.Statuses().back(), 0);
        EXPECT_EQ(co.Statuses()[base], 1);
        ASSERT_EQ(Enable(0), 0);
    }
}

TEST_F(StatusMonitor, SilentDrawerKeepsItsStateAndDropsThePort) {
    ASSERT_EQ(Claim(), 0);
    drawer.Expect("OPEN");
    ASSERT_EQ(Enable(1), 0);
    ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == 1; }));
    drawer.Expect("MODE SILENT");
    ASSERT_TRUE(PumpUntil([&] { return !Probe::PortIsOpen(object); }));
    EXPECT_TRUE(Probe::ReopenPending(object));

    // The next successful open-drawer command reopens the port.
    drawer.Expect("MODE NORMAL");
    CallVoid(so.get(), so_dispid::OpenDrawer);
    EXPECT_EQ(Number(6), 0);
    EXPECT_TRUE(Probe::PortIsOpen(object));
    EXPECT_FALSE(Probe::ReopenPending(object));
    // Two answered polls: the first one's pass, and anything it queued, is over.
    ASSERT_TRUE(PumpPolls(2));
    EXPECT_EQ(co.Statuses(), std::vector<long>{1}); // open all along: silence was no change
    EXPECT_EQ(Number(1001), 1);
    drawer.Expect("CLOSE");
    ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == 2; }));
    EXPECT_EQ(co.Statuses(), (std::vector<long>{1, 0}));
}

TEST_F(StatusMonitor, UnpluggedAndReplugged) {
    for (bool claimed : {true, false}) {
        SCOPED_TRACE(claimed ? "claimed" : "not claimed");
        drawer.Reset();
        if (claimed) {
            ASSERT_EQ(Claim(), 0);
        }
        ASSERT_EQ(Enable(1), 0);
        ASSERT_TRUE(PumpPolls(1));
        drawer.Expect("UNPLUG");
        ASSERT_TRUE(PumpUntil([&] { return !Probe::PortIsOpen(object); }));
        drawer.Expect("PLUG");
        drawer.Expect("OPEN");
        // The monitor never reopens by itself; the open-drawer command does.
        CallVoid(so.get(), so_dispid::OpenDrawer);
        EXPECT_EQ(Number(6), 0);
        ASSERT_TRUE(PumpUntil([&] { return Number(1001) == 1; }));
        ASSERT_EQ(Enable(0), 0);
        if (claimed) {
            ASSERT_EQ(CallLong(so.get(), so_dispid::Release), 0);
        }
        EXPECT_FALSE(Probe::PortIsOpen(object));
    }
}

// With "AutoReconnect" 1 the monitor reopens a dropped port by itself and, when
// the application sets PowerNotify, reports the drawer's power in order with its state.
TEST_F(StatusMonitor, AutoReconnectBringsAReplugedDrawerBackWithoutACall) {
    const wchar_t on[] = L"1"; // as text, the way a site may write it
    device.SetRaw(L"AutoReconnect", REG_SZ, on, sizeof(on));
    struct Case {
        long powerNotify;
        std::vector<long> events;
        long powerState;
    };
    const Case cases[] = {{0, {1}, 2000}, {1, {2001, 2004, 2001, 1}, 2001}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.powerNotify);
        EventRecorder events; // the event log hears of it whatever PowerNotify is
        drawer.Reset();
        ASSERT_EQ(CallLong(so.get(), so_dispid::Close), 0);
        ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0); // the switch is read at Open
        const size_t base = co.Updates().size();
        CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(13), Long(c.powerNotify)});
        ASSERT_EQ(Claim(), 0);
        ASSERT_EQ(Enable(1), 0);
        ASSERT_TRUE(PumpPolls(2)); // the first one answered
        drawer.Expect("UNPLUG");
        ASSERT_TRUE(PumpUntil([&] { return !Probe::PortIsOpen(object); }, 60000));
        PumpFor(1600); // a cycle whose reopen fails
        drawer.Expect("PLUG");
        drawer.Expect("OPEN");
        ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() >= base + c.events.size(); }, 60000))
            << ::testing::PrintToString(co.Statuses());
        PumpFor(200);
        const std::vector<long> all = co.Statuses();
        EXPECT_EQ(std::vector<long>(all.begin() + static_cast<long>(base), all.end()), c.events);
        EXPECT_EQ(Number(1001), 1);
        EXPECT_EQ(Number(14), c.powerState);
        EXPECT_TRUE(Probe::PortIsOpen(object));
        ASSERT_EQ(Enable(0), 0);
        EXPECT_EQ(events.ids, (std::vector<DWORD>{MSG_DRAWER_LOST, MSG_DRAWER_BACK}));
        EXPECT_EQ(events.types, (std::vector<WORD>{EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE}));
        // The write refused (21), or no answer to a write the unplugged line still took (1460).
        const auto lost = events.strings.empty() ? std::vector<std::wstring>(3) : events.strings[0];
        EXPECT_TRUE(lost[0] == device.Name() && lost[1] == drawer.PortName() &&
                    (lost[2] == L"21" || lost[2] == L"1460"))
            << ::testing::PrintToString(lost);
    }
}

TEST_F(StatusMonitor, ReleaseAndCloseOfAnEnabledClaimedDeviceStopEverythingPromptly) {
    ASSERT_EQ(Claim(), 0);
    ASSERT_EQ(Enable(1), 0);
    ASSERT_TRUE(PumpPolls(1));
    auto start = Clock::now();
    ASSERT_EQ(CallLong(so.get(), so_dispid::Release), 0);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_FALSE(Probe::StatusMonitorRunning(object));
    EXPECT_FALSE(Probe::PortIsOpen(object));
    EXPECT_EQ(Number(3), 0);
    EXPECT_EQ(Number(1), 0);

    ASSERT_EQ(Claim(), 0);
    ASSERT_EQ(Enable(1), 0);
    ASSERT_TRUE(PumpPolls(1));
    start = Clock::now();
    ASSERT_EQ(CallLong(so.get(), so_dispid::Close), 0);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_FALSE(Probe::StatusMonitorRunning(object));
    EXPECT_FALSE(Probe::EventDispatchRunning(object));
    EXPECT_FALSE(Probe::PortIsOpen(object));
}

TEST_F(StatusMonitor, ClaimFailsAtOnceWhileEnablingWithoutAClaimHoldsThePort) {
    ASSERT_EQ(Enable(1), 0);
    for (long timeout : {0L, 1000L, -1L}) { // -1 used to retry for ever
        const auto start = Clock::now();
        EXPECT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(timeout)}), 111) << timeout;
        EXPECT_LT(MsSince(start), 500) << timeout;
        EXPECT_EQ(Number(1), 0);
    }
    EXPECT_EQ(Number(3), 4); // still enabled, and polling
    ASSERT_TRUE(PumpPolls(1));
}

// A reconnect whose open takes 5 s (a virtual COM port whose peer is gone) holds
// no lock and no stop: disabling, Release and Close each return within the
// monitor's stop limit, and the fixture checks that nothing was ended by force.
TEST_F(StatusMonitor, AStopNeverWaitsForAReconnectThatIsStillOpeningThePort) {
    const wchar_t on[] = L"1";
    device.SetRaw(L"AutoReconnect", REG_SZ, on, sizeof(on));
    FaultyPortApi api;
    for (DISPID call : {so_dispid::SetPropertyNumber, so_dispid::Release, so_dispid::Close}) {
        SCOPED_TRACE(call);
        drawer.Reset();
        ASSERT_EQ(CallLong(so.get(), so_dispid::Close), 0); // the switch is read at Open
        ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);
        ASSERT_EQ(Claim(), 0);
        ASSERT_EQ(Enable(1), 0);
        drawer.Expect("UNPLUG");
        ASSERT_TRUE(PumpUntil([&] { return !Probe::PortIsOpen(object); }, 60000));
        const int before = api.m_opens;
        api.m_openDelayMs = 5000;
        // This row's reconnect, not the last row's opener that may still be stalled.
        ASSERT_TRUE(PumpUntil([&] { return api.m_opens.load() > before; }, 15000));
        const auto start = Clock::now();
        if (call == so_dispid::SetPropertyNumber) {
            ASSERT_EQ(Enable(0), 0);
        } else {
            ASSERT_EQ(CallLong(so.get(), call), 0);
        }
        EXPECT_LT(MsSince(start), 2600); // 1000 ms + one exchange's bound
        EXPECT_FALSE(Probe::StatusMonitorRunning(object));
        api.m_openDelayMs = 0;
        drawer.Expect("PLUG");
    }
}

// Power is reported whenever PowerNotify is 1, "AutoReconnect" or not; "PollInterval" sets the pause.
TEST_F(StatusMonitor, PowerNotifyAloneReportsPowerAtThePollIntervalsPace) {
    device.SetRaw(L"PollInterval", REG_SZ, L"100", 8);
    ASSERT_EQ(CallLong(so.get(), so_dispid::Close), 0);
    ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0); // read at Open
    CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(13), Long(1)});
    ASSERT_EQ(Enable(1), 0);
    const int before = Requests();
    EXPECT_TRUE(PumpUntil([&] { return Requests() >= before + 8; }, 3000)) << "1.5 s pauses would take 12 s";
    drawer.Expect("MODE SILENT");
    ASSERT_TRUE(PumpUntil([&] { return co.Updates().size() == 2; }, 5000));
    PumpFor(300);
    EXPECT_EQ(co.Statuses(), (std::vector<long>{2001, 2004}));
    EXPECT_EQ(Number(14), 2004);
}

TEST_F(StatusMonitor, PowerNotifyCannotChangeWhileEnabled) {
    ASSERT_EQ(Enable(1), 0);
    CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(13), Long(1)});
    EXPECT_EQ(Number(6), 106);
    EXPECT_EQ(Number(13), 0);
}

// Which faults reach the event log, against a clock the test moves: one row per step.
TEST(EventLogRate, EachKindOncePerDeviceAndWindowAndOneLostAndBackPerFlap) {
    static ULONGLONG now = 0;
    EventRecorder recorder;
    CEventLogReporter reporter(recorder, [] { return now; });
    CDeviceEventLog usb(reporter), serial(reporter), off(reporter);
    usb.Configure(L"USB", L"COM3", true);
    serial.Configure(L"SER", L"COM1", true);
    off.Configure(L"OFF", L"COM4", false); // "EventLog" = 0
    auto flap = [](CDeviceEventLog& d) { return [&d] { d.PollResult(false, 21), d.PollResult(true, 0); }; };
    const auto window = CEventLogReporter::kWindowMs;
    const DWORD lost = MSG_DRAWER_LOST, back = MSG_DRAWER_BACK, failed = MSG_COMMAND_FAILED;
    const struct {
        int repeat;
        ULONGLONG advanceMs; // before each
        std::function<void()> fault;
        std::vector<DWORD> written;
        const wchar_t* note; // the last one written starts with it
    } steps[] = {
        {3, 1500, [&] { usb.PollResult(true, 0); }, {}, L""},       // normal operation
        {3, 1500, [&] { usb.PollResult(false, 21); }, {lost}, L""}, // unplugged: once, however many polls
        {2, 1500, [&] { usb.PollResult(true, 0); }, {back}, L""},   // replugged
        {10, 1000, flap(usb), {}, L""},                             // ten quick flaps
        {1, 0, flap(serial), {lost, back}, L""},                    // another device's own
        {1, window - 20000, [&] { usb.PollResult(false, 21); }, {}, L""}, // late in lost's window: left out
        {1, 10000, [&] { usb.PollResult(true, 0); }, {}, L""}, // so is its back, whatever back's own
        {1, window, flap(usb), {lost, back}, L" 11 more"},
        {2, window, flap(off), {}, L""},
        {1, 0, [&] { off.CommandFailed(111, 21); }, {}, L""},
        {3, 1000, [&] { usb.CommandFailed(111, 21); }, {failed}, L""},
        {3, 1000, [&] { usb.WaitGaveUp(10000, 1460); }, {MSG_WAIT_GAVE_UP}, L""},
        {3, 1000, [&] { usb.WorkerForced("status monitor", 2000); }, {MSG_WORKER_FORCED}, L""},
        {3,
         1000,
         [&] { reporter.Report(L"USB", EventKind::TraceNotWritten, L"t.log", 5, 9); },
         {MSG_TRACE_NOT_WRITTEN},
         L""},
        {1, window, [&] { usb.CommandFailed(106, 0); }, {failed}, L" 2 more"},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        const size_t before = recorder.ids.size();
        for (int n = 0; n < steps[i].repeat; ++n) {
            now += steps[i].advanceMs;
            steps[i].fault();
        }
        EXPECT_EQ(std::vector<DWORD>(recorder.ids.begin() + static_cast<long>(before), recorder.ids.end()),
                  steps[i].written);
        if (recorder.ids.size() > before) {
            EXPECT_EQ(recorder.strings.back()[4].rfind(steps[i].note, 0), 0u) << recorder.strings.back()[4];
        }
    }
}

} // namespace
} // namespace vtx::test
