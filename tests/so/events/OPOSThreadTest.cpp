// The worker stop protocol.
#include "Elapsed.h"
#include "events/OPOSThread.h"

#include <gtest/gtest.h>

namespace vtx::test {
namespace {

struct Worker {
    COPOSThread block;
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~Worker() { CloseHandle(started); }
    // Starts proc as the worker and waits until it runs.
    bool Run(LPTHREAD_START_ROUTINE proc) {
        ResetEvent(started);
        return block.Start(proc, this) && WaitForSingleObject(started, 10000) == WAIT_OBJECT_0;
    }
    // How long a Stop that succeeds takes.
    double MsToStop(DWORD limitMs) {
        auto start = Clock::now();
        EXPECT_TRUE(block.Stop(limitMs));
        return MsSince(start);
    }
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
    ASSERT_TRUE(w.Run(&Cooperative));
    EXPECT_LT(w.MsToStop(1000), 500); // the 1500 ms pause does not hold it up
    EXPECT_FALSE(w.block.IsRunning());
    EXPECT_FALSE(w.block.StopRequested());
    EXPECT_EQ(COPOSThread::ForcedStopCount(), forced);
}

TEST(OPOSThread, WorkerEndedByAnExceptionCountsAsStopped) {
    Worker w;
    long forced = COPOSThread::ForcedStopCount();
    ASSERT_TRUE(w.Run(&Throws));
    EXPECT_LT(w.MsToStop(1000), 500);
    EXPECT_EQ(COPOSThread::ForcedStopCount(), forced);
}

TEST(OPOSThread, AnEarlierStopNeverReachesALaterWorkerAndAnEndedWorkerIsNotRunning) {
    Worker w;
    ASSERT_TRUE(w.Run(&LooksAtTheFlagFirst));
    EXPECT_TRUE(w.block.Stop(1000));

    g_pauseCutShort = true;
    ASSERT_TRUE(w.Run(&OnePause));
    for (int i = 0; i < 1000 && w.block.IsRunning(); ++i) {
        Sleep(10);
    }
    EXPECT_FALSE(g_pauseCutShort);
    EXPECT_FALSE(w.block.IsRunning());
    // A new worker starts over the ended one's handle.
    ASSERT_TRUE(w.Run(&Cooperative));
    EXPECT_TRUE(w.block.IsRunning());
    EXPECT_TRUE(w.block.Stop(1000));
}

TEST(OPOSThread, WorkerThatIgnoresTheStopIsEndedAfterTheLimit) {
    Worker w;
    long forced = COPOSThread::ForcedStopCount();
    ASSERT_TRUE(w.Run(&Deaf));
    EXPECT_GE(w.MsToStop(200), 190);
    EXPECT_FALSE(w.block.IsRunning());
    EXPECT_FALSE(w.block.StopRequested());
    EXPECT_EQ(COPOSThread::ForcedStopCount(), forced + 1);
}

} // namespace
} // namespace vtx::test
