// The worker stop protocol.
#include "events/OPOSThread.h"

#include <gtest/gtest.h>

#include <chrono>

namespace vtx {
namespace {

using Clock = std::chrono::steady_clock;
long MsSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

struct Worker {
    COPOSThread block;
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Worker() { CloseHandle(started); }
};

DWORD WINAPI Cooperative(LPVOID p) {
    auto* w = static_cast<Worker*>(p);
    SetEvent(w->started);
    while (!w->block.WaitForStop(1500)) {
    }
    w->block.SignalStopped();
    return 0;
}

// Sees the stop flag before it ever waits on the request event.
DWORD WINAPI LooksAtTheFlagFirst(LPVOID p) {
    auto* w = static_cast<Worker*>(p);
    SetEvent(w->started);
    while (!w->block.StopRequested()) {
        Sleep(1);
    }
    w->block.WaitForStop(0);
    return 0;
}

// One pause, then ends on its own; records whether a stop cut the pause short.
bool g_pauseCutShort = false;
DWORD WINAPI OnePause(LPVOID p) {
    auto* w = static_cast<Worker*>(p);
    SetEvent(w->started);
    g_pauseCutShort = w->block.WaitForStop(300);
    return 0;
}

DWORD WINAPI Deaf(LPVOID p) {
    auto* w = static_cast<Worker*>(p);
    SetEvent(w->started);
    for (;;) {
        Sleep(50);
    }
}

DWORD WINAPI Throws(LPVOID p) {
    auto* w = static_cast<Worker*>(p);
    SetEvent(w->started);
    // Ends without signalling: as a worker killed by an exception would.
    return static_cast<DWORD>(-1);
}

TEST(OPOSThread, StopWithoutAWorkerReturnsAtOnce) {
    COPOSThread block;
    auto start = Clock::now();
    EXPECT_TRUE(block.Stop(1000));
    EXPECT_LT(MsSince(start), 100);
    EXPECT_FALSE(block.IsRunning());
    // Nothing was signalled.
    EXPECT_EQ(WaitForSingleObject(block.StopRequestEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(OPOSThread, CooperativeWorkerStopsWellWithinItsLimit) {
    Worker w;
    long forced = COPOSThread::ForcedStopCount();
    ASSERT_TRUE(w.block.Start(&Cooperative, &w));
    ASSERT_EQ(WaitForSingleObject(w.started, 10000), WAIT_OBJECT_0);
    auto start = Clock::now();
    EXPECT_TRUE(w.block.Stop(1000));
    EXPECT_LT(MsSince(start), 500); // the 1500 ms pause does not hold it up
    EXPECT_FALSE(w.block.IsRunning());
    EXPECT_FALSE(w.block.StopRequested());
    EXPECT_EQ(COPOSThread::ForcedStopCount(), forced);
}

TEST(OPOSThread, WorkerEndedByAnExceptionCountsAsStopped) {
    Worker w;
    long forced = COPOSThread::ForcedStopCount();
    ASSERT_TRUE(w.block.Start(&Throws, &w));
    ASSERT_EQ(WaitForSingleObject(w.started, 10000), WAIT_OBJECT_0);
    auto start = Clock::now();
    EXPECT_TRUE(w.block.Stop(1000));
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(COPOSThread::ForcedStopCount(), forced);
}

TEST(OPOSThread, AnEarlierStopNeverReachesALaterWorkerAndAnEndedWorkerIsNotRunning) {
    Worker w;
    ASSERT_TRUE(w.block.Start(&LooksAtTheFlagFirst, &w));
    ASSERT_EQ(WaitForSingleObject(w.started, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(w.block.Stop(1000));

    ResetEvent(w.started);
    g_pauseCutShort = true;
    ASSERT_TRUE(w.block.Start(&OnePause, &w));
    ASSERT_EQ(WaitForSingleObject(w.started, 10000), WAIT_OBJECT_0);
    for (int i = 0; i < 1000 && w.block.IsRunning(); ++i) {
        Sleep(10);
    }
    EXPECT_FALSE(g_pauseCutShort);
    EXPECT_FALSE(w.block.IsRunning());
    // A new worker starts over the ended one's handle.
    ResetEvent(w.started);
    ASSERT_TRUE(w.block.Start(&Cooperative, &w));
    ASSERT_EQ(WaitForSingleObject(w.started, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(w.block.IsRunning());
    EXPECT_TRUE(w.block.Stop(1000));
}

TEST(OPOSThread, WorkerThatIgnoresTheStopIsEndedAfterTheLimit) {
    Worker w;
    long forced = COPOSThread::ForcedStopCount();
    ASSERT_TRUE(w.block.Start(&Deaf, &w));
    ASSERT_EQ(WaitForSingleObject(w.started, 10000), WAIT_OBJECT_0);
    auto start = Clock::now();
    EXPECT_TRUE(w.block.Stop(200));
    EXPECT_GE(MsSince(start), 190);
    EXPECT_FALSE(w.block.IsRunning());
    EXPECT_FALSE(w.block.StopRequested());
    EXPECT_EQ(COPOSThread::ForcedStopCount(), forced + 1);
}

} // namespace
} // namespace vtx
