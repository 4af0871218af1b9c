// OpenDrawer and WaitForDrawerClose against the virtual drawer, with the
// speaker replaced so tones are counted rather than played.
#include "DrawerServiceTest.h"
#include "Elapsed.h"
#include "MessagePump.h"
#include "QuietSpeaker.h"
#include "device/WriteFailure.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace vtx::test {
namespace {

struct Tone {
    DWORD frequency;
    DWORD duration;
};

// Records tones and pauses without sound, as the speaker for its lifetime; the clock is the real one.
class FakeSpeaker : public QuietSpeaker {
public:
    void Beep(DWORD frequency, DWORD durationMs) override {
        std::lock_guard guard(m_lock);
        if (m_tones.empty()) {
            m_ticksBeforeTone = m_ticks.load();
        }
        m_tones.push_back({frequency, durationMs});
        if (m_onTone) {
            m_onTone(m_tones.size());
        }
    }
    void Pause(DWORD ms) override {
        ++m_pauses;
        Sleep(ms > 20 ? 20 : ms);
    }
    DWORD TickCount() override {
        ++m_ticks;
        return GetTickCount();
    }

    std::vector<Tone> Tones() {
        std::lock_guard guard(m_lock);
        return m_tones;
    }
    std::function<void(size_t)> m_onTone;
    std::atomic<int> m_pauses{0};
    // The quiet phase of a wait reads the clock once per poll.
    std::atomic<int> m_ticks{0};
    int m_ticksBeforeTone = -1;

private:
    std::mutex m_lock;
    std::vector<Tone> m_tones;
};

class DrawerCommands : public DrawerServiceTest {
protected:
    DrawerCommands() : DrawerServiceTest(L"VX-CMD") {}
    long OpenDrawer() {
        CallVoid(so.get(), so_dispid::OpenDrawer);
        return Number(6);
    }
    // Its result code; waitMs says how long it took.
    long Wait(long timeout, long frequency, long duration, long delay) {
        auto start = Clock::now();
        CallVoid(so.get(), so_dispid::WaitForDrawerClose,
                 {Long(timeout), Long(frequency), Long(duration), Long(delay)});
        waitMs = MsSince(start);
        return Number(6);
    }
    // Lets the monitor of an enabled device drop the port, as an unanswered poll does.
    void DropPortBySilence() {
        drawer.Expect("MODE SILENT");
        ASSERT_TRUE(PumpUntil([this] { return !Probe::PortIsOpen(object); }, 60000));
    }

    FakeSpeaker speaker;
    double waitMs = 0;
};

TEST_F(DrawerCommands, OpenDrawerWritesExactlyTheOpenCommand) {
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 0);
    ASSERT_EQ(Enable(1), 0);
    drawer.Received();
    drawer.Expect("MODE SILENT"); // keep status polls out of the way... they are still logged
    EXPECT_EQ(OpenDrawer(), 0);
    drawer.Expect("WAITRX 4 5000");
    std::string rx = drawer.Received();
    EXPECT_NE(rx.find("1C 1E 11 13"), std::string::npos) << rx;
    EXPECT_TRUE(drawer.IsOpen());
    // OpenDrawer itself does not touch DrawerOpened: the monitor reports it.
    EXPECT_EQ(Number(1001), 0);
}

TEST_F(DrawerCommands, OpenDrawerNeedsAnOpenEnabledDeviceButNoClaim) {
    EXPECT_EQ(OpenDrawer(), 106);
    ASSERT_EQ(Enable(1), 0); // enabled, not claimed
    drawer.Received();
    EXPECT_EQ(OpenDrawer(), 0);
    drawer.Expect("WAITRX 4 5000");
    EXPECT_TRUE(drawer.IsOpen());
}

TEST_F(DrawerCommands, OpenDrawerAfterADroppedPortReopensItOrReports107) {
    ASSERT_EQ(Enable(1), 0);
    DropPortBySilence();
    ASSERT_FALSE(Probe::PortIsOpen(object));
    ASSERT_TRUE(Probe::ReopenPending(object));

    drawer.Expect("UNAVAILABLE");
    drawer.Received();
    EXPECT_EQ(OpenDrawer(), 107);
    EXPECT_TRUE(Probe::ReopenPending(object));
    EXPECT_EQ(OpenDrawer(), 107); // and tries again next time
    drawer.Expect("AVAILABLE");
    drawer.Expect("MODE NORMAL");
    EXPECT_EQ(OpenDrawer(), 0);
    EXPECT_FALSE(Probe::ReopenPending(object));
    EXPECT_TRUE(drawer.IsOpen());
}

TEST_F(DrawerCommands, FailedWriteClosesThePortAndTheNextCommandReopens) {
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 0);
    drawer.Expect("OPEN");
    ASSERT_EQ(Enable(1), 0);
    // Once the monitor's first poll is over, the next one is 1.5 s away: the write meets the line first.
    ASSERT_TRUE(PumpUntil([this] { return Number(1001) == 1; }));
    drawer.Expect("UNPLUG");
    // The line is gone: under Wine the write fails with 21 (not ready).
    EXPECT_EQ(OpenDrawer(), 111);
    EXPECT_FALSE(Probe::PortIsOpen(object));
    EXPECT_TRUE(Probe::ReopenPending(object));
    drawer.Expect("PLUG");
    EXPECT_EQ(OpenDrawer(), 0);
    EXPECT_TRUE(drawer.IsOpen());
}

TEST_F(DrawerCommands, PortReopenedElsewhereDoesNotLeaveOpenDrawerFailing) {
    ASSERT_EQ(Enable(1), 0);
    DropPortBySilence();
    drawer.Expect("MODE NORMAL");
    // Re-enabling opens the port again by another path.
    ASSERT_EQ(Enable(0), 0);
    ASSERT_EQ(Enable(1), 0);
    EXPECT_TRUE(Probe::PortIsOpen(object));
    EXPECT_EQ(OpenDrawer(), 0);
    EXPECT_TRUE(drawer.IsOpen());
    // And Release followed by Claim.
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 111); // port held by the enabled device
    ASSERT_EQ(Enable(0), 0);
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 0);
    ASSERT_EQ(Enable(1), 0);
    DropPortBySilence();
    drawer.Expect("MODE NORMAL");
    ASSERT_EQ(CallLong(so.get(), so_dispid::Release), 0);
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 0);
    ASSERT_EQ(Enable(1), 0);
    EXPECT_EQ(OpenDrawer(), 0);
}

TEST_F(DrawerCommands, WaitRefusesByState) {
    ComPtr<IDispatch> closed = NewServiceObject();
    CallVoid(closed.get(), so_dispid::WaitForDrawerClose, {Long(0), Long(0), Long(0), Long(0)});
    EXPECT_EQ(CallLong(closed.get(), so_dispid::GetPropertyNumber, {Long(6)}),
              101); // closed: reads answer 101
    EXPECT_EQ(Wait(0, 800, 100, 100), 105);
}

TEST_F(DrawerCommands, WaitWithTheDrawerClosedPollsOnceWithoutATone) {
    ASSERT_EQ(Enable(1), 0);
    CallLong(so.get(), so_dispid::Release); // not claimed: fine either way
    int before = Requests();
    EXPECT_EQ(Wait(1000, 800, 100, 100), 0);
    EXPECT_GE(Requests() - before, 1);
    EXPECT_TRUE(speaker.Tones().empty());
    EXPECT_EQ(Number(1001), 0);
}

// The wait takes the drawer as open until it answers; the monitor must not
// mistake that for a drawer that opened and closed again.
TEST_F(DrawerCommands, WaitingOnAClosedDrawerSendsNoStatusEvent) {
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 0);
    ASSERT_EQ(Enable(1), 0);
    drawer.Expect("DELAY 100"); // each wait then spends most of its time "open"
    auto start = Clock::now();
    while (MsSince(start) < 3500) { // spans two polls of the monitor
        ASSERT_EQ(Wait(0, 1000, 10, 10), 0);
    }
    PumpFor(700);
    EXPECT_TRUE(co.Updates().empty());
    EXPECT_EQ(Number(1001), 0);
    EXPECT_TRUE(speaker.Tones().empty());
}

TEST_F(DrawerCommands, WaitWithZeroTimeoutBeepsUntilTheDrawerIsPushedShut) {
    ASSERT_EQ(Enable(1), 0);
    drawer.Expect("OPEN");
    speaker.m_onTone = [this](size_t count) {
        if (count == 3) {
            VirtualDrawer().Expect("CLOSE");
        }
    };
    EXPECT_EQ(Wait(0, 880, 120, 40), 0);
    auto tones = speaker.Tones();
    // The pass that found the drawer shut still sounds its tone.
    ASSERT_EQ(tones.size(), 4u);
    EXPECT_EQ(tones[0].frequency, 880u);
    EXPECT_EQ(tones[0].duration, 120u);
    EXPECT_EQ(speaker.m_pauses.load(), 4);
    EXPECT_EQ(Number(1001), 0);
}

TEST_F(DrawerCommands, WaitStaysQuietDuringTheGracePeriod) {
    ASSERT_EQ(Enable(1), 0);
    drawer.Expect("AUTOCLOSE 600");
    drawer.Expect("OPEN");
    EXPECT_EQ(Wait(5000, 880, 120, 40), 0);
    EXPECT_GE(waitMs, 500);
    EXPECT_TRUE(speaker.Tones().empty());
}

TEST_F(DrawerCommands, NegativeToneValuesSoundNothingAndDoNotHang) {
    ASSERT_EQ(Enable(1), 0);
    drawer.Expect("AUTOCLOSE 700");
    drawer.Expect("OPEN");
    EXPECT_EQ(Wait(0, 880, 100, -1), 0);
    EXPECT_LT(waitMs, 10000);
    EXPECT_TRUE(speaker.Tones().empty());
    EXPECT_EQ(speaker.m_pauses.load(), 0);
}

TEST_F(DrawerCommands, WaitOnAPortThatCannotBeHadKeepsPacedAndEndsWhenItAnswersClosed) {
    ASSERT_EQ(Enable(1), 0);
    DropPortBySilence();
    drawer.Expect("UNAVAILABLE"); // every poll and every reopen now fails at once
    speaker.m_onTone = [this](size_t count) {
        if (count == 2) {
            VirtualDrawer d;
            d.Expect("AVAILABLE");
            d.Expect("MODE NORMAL");
        }
    };
    EXPECT_EQ(Wait(1000, 880, 50, 50), 0);
    // Paced, a dead port is polled about 20 times in the second before the tones; unpaced, hundreds.
    EXPECT_GT(speaker.m_ticksBeforeTone, 0);
    EXPECT_LT(speaker.m_ticksBeforeTone, 30);
    EXPECT_TRUE(Probe::PortIsOpen(object)); // reopened along the way
    EXPECT_EQ(Number(1001), 0);
}

// A drawer that stops answering once opened is never reported closed: the wait
// ends on an answered "closed" only, or with 107 once nothing answered for 10 s.
TEST_F(DrawerCommands, WaitOnADrawerThatStopsAnsweringNeverReportsClosed) {
    struct Case {
        const char* fault;
        size_t answerAtTone; // 0: never answers again
        long result;
        long drawerOpened;
    };
    const Case cases[] = {{"MODE SILENT", 3, 0, 0}, {"UNPLUG", 0, 107, 1}};
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 0);
    ASSERT_EQ(Enable(1), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const size_t base = speaker.Tones().size();
        // Fails at once on the old monitor, which had not seen the drawer open yet.
        ASSERT_EQ(OpenDrawer(), 0);
        drawer.Expect(c.fault);
        speaker.m_onTone = [&](size_t count) {
            if (count == base + c.answerAtTone) {
                VirtualDrawer d;
                d.Expect("CLOSE");
                d.Expect("MODE NORMAL");
            }
        };
        EXPECT_EQ(Wait(3000, 1000, 50, 50), c.result);
        if (c.answerAtTone != 0) {
            EXPECT_GE(speaker.Tones().size(), base + c.answerAtTone); // not before the answer
        } else {
            EXPECT_GE(waitMs, 9900);
            EXPECT_LT(waitMs, 60000);
        }
        EXPECT_EQ(Number(1001), c.drawerOpened);
        EXPECT_EQ(Number(7), 0);
        speaker.m_onTone = nullptr;
    }
}

// With long tones the first lost reply may come 10 s after the last answer:
// the drawer is still there, and the wait goes on until it answers "closed".
TEST_F(DrawerCommands, OneLostReplyAfterALongToneDoesNotEndTheWait) {
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 0);
    ASSERT_EQ(Enable(1), 0);
    drawer.Expect("OPEN");
    speaker.m_onTone = [](size_t count) {
        VirtualDrawer d;
        if (count == 1) {
            d.Expect("MODE SILENT");
            Sleep(10200); // a tone and a pause of 10 s
        } else if (count == 2) {
            d.Expect("CLOSE");
            d.Expect("MODE NORMAL");
        }
    };
    EXPECT_EQ(Wait(0, 1000, 50, 50), 0);
    EXPECT_GE(speaker.Tones().size(), 2u);
    EXPECT_EQ(Number(1001), 0);
}

// A line that stops draining blocks writes, as a drawer holding CTS low does:
// the command fails within its write time-out instead of freezing the register.
TEST_F(DrawerCommands, CommandOnALineThatStopsDrainingFailsAndWorksOnceItDrains) {
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 0);
    ASSERT_EQ(Enable(1), 0);
    drawer.Expect("STALL");
    {
        // Fill the line's buffer through a second handle (Wine shares serial ports).
        const std::wstring path = L"\\\\.\\" + drawer.PortName();
        UniqueFileHandle filler(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(filler.valid()) << GetLastError();
        COMMTIMEOUTS timeouts{0, 0, 0, 0, 300};
        ASSERT_TRUE(SetCommTimeouts(filler.get(), &timeouts));
        // Until even a 4-byte write gets nothing through: the kernel frees room in steps.
        std::vector<uint8_t> block(4096, 0);
        DWORD size = static_cast<DWORD>(block.size());
        DWORD written = size;
        for (int i = 0; i < 4096 && written != 0; ++i) {
            ASSERT_TRUE(WriteFile(filler.get(), block.data(), size, &written, nullptr)) << GetLastError();
            size = written < size ? 4 : size;
        }
        ASSERT_EQ(written, 0u) << "the line never filled";
    }
    const auto start = Clock::now();
    EXPECT_EQ(OpenDrawer(), 111);
    EXPECT_LT(MsSince(start), 5000); // without a write time-out: never
    EXPECT_FALSE(Probe::PortIsOpen(object));
    EXPECT_TRUE(Probe::ReopenPending(object));
    drawer.Expect("DRAIN");
    drawer.Expect("CLOSE");
    EXPECT_EQ(OpenDrawer(), 0);
    EXPECT_TRUE(PumpUntil([this] { return drawer.IsOpen(); }));
}

TEST(WriteFailure, AGoneOrUnusablePortIsMissingHardwareAnythingElseAFailure) {
    const std::pair<DWORD, long> table[] = {{6, 107}, {5, 111}, {2, 107}, {22, 107}, {21, 111}, {0, 111}};
    for (auto [error, code] : table) {
        EXPECT_EQ(ClassifyWriteFailure(error), code) << "error " << error;
    }
}

} // namespace
} // namespace vtx::test
