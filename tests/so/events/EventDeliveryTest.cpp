// Status updates travel from a worker thread, through the queue and the event
// window, to the Control Object on the thread that called OpenService.
#include "DeviceRegistry.h"
#include "Elapsed.h"
#include "FakeControlObject.h"
#include "MessagePump.h"
#include "ServiceObject.h"
#include "events/EventInterface.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vtx::test {
namespace {

class EventDelivery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(GetEnvironmentVariableW(L"DISPLAY", nullptr, 0), 0u) << "the event window needs a display";
        liveBefore = COPOSEvent::LiveCount();
        device.SetPort(L"COM200");
        ASSERT_EQ(Open(), 0);
        ASSERT_NE(Probe::EventInterface(object).Window(), nullptr);
    }
    void TearDown() override {
        so.reset();
        EXPECT_EQ(COPOSEvent::LiveCount(), liveBefore) << "event records leaked";
    }

    long Open() { return OpenService(so.get(), device.Name(), &co); }
    long Close() { return CallLong(so.get(), so_dispid::Close); }
    void Freeze(bool on) { EXPECT_EQ(CallLong(so.get(), so_dispid::COFreezeEvents, {Bool(on)}), 0); }
    // Queues from a worker thread, as the status monitor does.
    void QueueFromWorker(std::vector<long> statuses) {
        std::thread worker([this, statuses] {
            for (long s : statuses) {
                Probe::EventInterface(object).QueueStatusUpdate(s);
            }
        });
        worker.join();
    }
    bool PumpUntilCount(size_t n) {
        return PumpUntil([&] { return co.Updates().size() >= n; });
    }

    long liveBefore = 0;
    DeviceKey device{UniqueDeviceName(L"VX-EVT")};
    FakeControlObject co;
    ComPtr<IDispatch> so = NewServiceObject();
    CCashDrawer* object = CCashDrawer::FromDispatch(so.get());
};

TEST_F(EventDelivery, EventArrivesOnTheThreadThatOpenedTheService) {
    QueueFromWorker({1});
    ASSERT_TRUE(PumpUntilCount(1));
    auto updates = co.Updates();
    EXPECT_EQ(updates[0].status, 1);
    EXPECT_EQ(updates[0].threadId, GetCurrentThreadId());
}

TEST_F(EventDelivery, RecordsArriveInQueueOrder) {
    QueueFromWorker({1, 0, 0, 1, 0});
    ASSERT_TRUE(PumpUntilCount(5));
    EXPECT_EQ(co.Statuses(), (std::vector<long>{1, 0, 0, 1, 0}));
}

TEST_F(EventDelivery, FrozenRecordsAreKeptAndDeliveredInOrderOnThaw) {
    Freeze(true);
    QueueFromWorker({1, 0, 1});
    PumpFor(700);
    EXPECT_TRUE(co.Updates().empty());
    Freeze(false);
    ASSERT_TRUE(PumpUntilCount(3));
    EXPECT_EQ(co.Statuses(), (std::vector<long>{1, 0, 1}));
}

TEST_F(EventDelivery, FreezeEventsPropertyHoldsAndReleasesDelivery) {
    CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(4), Long(1)});
    QueueFromWorker({0, 1});
    PumpFor(600);
    EXPECT_TRUE(co.Updates().empty());
    CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(4), Long(0)});
    ASSERT_TRUE(PumpUntilCount(2));
    EXPECT_EQ(co.Statuses(), (std::vector<long>{0, 1}));
}

TEST_F(EventDelivery, FreezingInsideTheHandlerStopsAfterThatRecord) {
    co.OnStatusUpdate([this](long) { Freeze(true); });
    QueueFromWorker({1, 0});
    ASSERT_TRUE(PumpUntilCount(1));
    PumpFor(700);
    EXPECT_EQ(co.Statuses(), std::vector<long>{1});
    // The queue lock was left free: a worker can still queue.
    QueueFromWorker({1});
    co.OnStatusUpdate(nullptr);
    Freeze(false);
    ASSERT_TRUE(PumpUntilCount(3));
    EXPECT_EQ(co.Statuses(), (std::vector<long>{1, 0, 1}));
}

TEST_F(EventDelivery, CloseInsideTheHandlerCompletesWithinItsLimit) {
    long closeResult = -1;
    double closeMs = -1;
    co.OnStatusUpdate([&](long) {
        auto start = Clock::now();
        closeResult = Close();
        closeMs = MsSince(start);
    });
    long forced = COPOSThread::ForcedStopCount();
    QueueFromWorker({1});
    ASSERT_TRUE(PumpUntilCount(1));
    EXPECT_EQ(closeResult, 0);
    EXPECT_LT(closeMs, 1000);
    EXPECT_FALSE(Probe::EventDispatchRunning(object));
    EXPECT_EQ(COPOSThread::ForcedStopCount(), forced);
}

TEST_F(EventDelivery, BlockedApplicationThreadLosesNoEventAndAFreezeHoldsWhatPiledUp) {
    CEventsCollection& queue = Probe::EventInterface(object).m_dispatchThread.m_events;
    auto queued = [&] {
        std::lock_guard lock(queue);
        return queue.Count();
    };
    for (bool freezeFirst : {false, true}) {
        SCOPED_TRACE(freezeFirst ? "frozen before the pump" : "pumped as it is");
        const size_t base = co.Updates().size();
        QueueFromWorker({1, 0, 1});
        // Not pumping: each hand-over times out and the next record is posted, until the queue is empty.
        for (auto start = Clock::now(); queued() != 0 && MsSince(start) < 10000;) {
            Sleep(10);
        }
        ASSERT_EQ(queued(), 0);
        if (freezeFirst) {
            Freeze(true); // the posted messages must not fire now
            PumpFor(300);
            EXPECT_EQ(co.Updates().size(), base);
            Freeze(false);
        }
        ASSERT_TRUE(PumpUntilCount(base + 3));
        const std::vector<long> all = co.Statuses();
        EXPECT_EQ(std::vector<long>(all.begin() + static_cast<long>(base), all.end()),
                  (std::vector<long>{1, 0, 1}));
    }
    // Records whose hand-over timed out are freed once handled (checked in TearDown).
}

TEST_F(EventDelivery, OtherCommandsToTheWindowFireNothing) {
    HWND window = Probe::EventInterface(object).Window();
    auto send = [window](WPARAM command, COPOSEvent* record) {
        SendMessageW(window, WM_COMMAND, command, reinterpret_cast<LPARAM>(record));
    };
    for (WPARAM other : {WPARAM{EVENT_COMMAND_ID + 1}, WPARAM{MAKEWPARAM(EVENT_COMMAND_ID, 1)}}) {
        auto* record = new CStatusUpdateEvent(1);
        send(other, record);
        // Fired by mistake, the record was also let go: leave it be.
        ASSERT_TRUE(co.Updates().empty()) << "command " << other;
        record->ReleaseHolder();
    }
    send(EVENT_COMMAND_ID, nullptr); // no record: ignored, not a crash
    EXPECT_TRUE(co.Updates().empty());
    send(EVENT_COMMAND_ID, new CStatusUpdateEvent(0)); // the one command that fires
    EXPECT_EQ(co.Statuses(), std::vector<long>{0});
}

TEST_F(EventDelivery, WindowIsAHiddenChildOfTheDesktop) {
    HWND window = Probe::EventInterface(object).Window();
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"EventInterfaceWindow");
    EXPECT_EQ(GetDlgCtrlID(window), EVENT_WINDOW_ID);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
}

TEST_F(EventDelivery, ReopenAfterCloseReusesTheWindowWithANewDispatchThread) {
    HWND window = Probe::EventInterface(object).Window();
    ASSERT_EQ(Close(), 0);
    EXPECT_FALSE(Probe::EventDispatchRunning(object));
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(Probe::EventInterface(object).Window(), window);
    EXPECT_TRUE(Probe::EventDispatchRunning(object));
    QueueFromWorker({1});
    ASSERT_TRUE(PumpUntilCount(1));
}

TEST_F(EventDelivery, CloseDropsRecordsQueuedOrAlreadyPostedToTheWindow) {
    Freeze(true);
    QueueFromWorker({1, 0});
    ASSERT_EQ(Close(), 0);
    EXPECT_EQ(COPOSEvent::LiveCount(), liveBefore);
    Freeze(false);

    // A dispatch thread that ended on its own leaves its queue to Close.
    ASSERT_EQ(Open(), 0);
    Probe::EventInterface(object).m_dispatchThread.Stop(1000);
    QueueFromWorker({1});
    ASSERT_EQ(Close(), 0);
    EXPECT_EQ(COPOSEvent::LiveCount(), liveBefore);

    ASSERT_EQ(Open(), 0);
    QueueFromWorker({1});
    MSG msg;
    HWND window = Probe::EventInterface(object).Window();
    auto posted = [&] { return PeekMessageW(&msg, window, WM_COMMAND, WM_COMMAND, PM_NOREMOVE) != FALSE; };
    for (auto start = Clock::now(); !posted() && MsSince(start) < 10000;) {
        Sleep(5);
    }
    ASSERT_TRUE(posted());
    ASSERT_EQ(Close(), 0);
    PumpFor(300);
    EXPECT_TRUE(co.Updates().empty());
    EXPECT_EQ(COPOSEvent::LiveCount(), liveBefore);
}

// A Control Object that reuses the service object starts a new session: a freeze
// of the last one must not hold this one's events without a word.
TEST_F(EventDelivery, FreezeEndsWithItsSession) {
    Freeze(true);
    ASSERT_EQ(Close(), 0);
    ASSERT_EQ(Open(), 0);
    EXPECT_FALSE(Probe::EventInterface(object).m_dispatchThread.m_bFrozen);
    QueueFromWorker({1});
    ASSERT_TRUE(PumpUntilCount(1));
}

TEST_F(EventDelivery, WithoutBothCallbacksRecordsAreConsumedSilently) {
    FakeControlObject partial(FakeControlObject::Lacks::DirectIO);
    ASSERT_EQ(Close(), 0);
    ASSERT_EQ(OpenService(so.get(), device.Name(), &partial), 0);
    QueueFromWorker({1, 0});
    ASSERT_TRUE(PumpUntil([&] { return COPOSEvent::LiveCount() == liveBefore; }));
    EXPECT_EQ(partial.Invocations(), 0);
    EXPECT_TRUE(co.Updates().empty());
}

TEST_F(EventDelivery, FinalReleaseWithoutCloseStopsTheDispatchThread) {
    long forced = COPOSThread::ForcedStopCount();
    QueueFromWorker({1});
    auto start = Clock::now();
    so.reset();
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(COPOSThread::ForcedStopCount(), forced);
}

} // namespace
} // namespace vtx::test
