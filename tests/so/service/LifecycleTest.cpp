// Open, claim, release and close through IDispatch, with the port on the
// virtual drawer.
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "MessagePump.h"
#include "ServiceObject.h"
#include "ThreadCount.h"
#include "VirtualDrawer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace vtx::test {
namespace {

using Clock = std::chrono::steady_clock;

long Ms(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        drawer.Reset();
        device.SetPort(drawer.PortName());
    }
    long Open() { return OpenService(so.get(), device.Name(), &co); }
    long Claim(long timeout) { return CallLong(so.get(), so_dispid::Claim, {Long(timeout)}); }
    long Release() { return CallLong(so.get(), so_dispid::Release); }
    long Close() { return CallLong(so.get(), so_dispid::Close); }
    long Number(long pidx) { return CallLong(so.get(), so_dispid::GetPropertyNumber, {Long(pidx)}); }

    VirtualDrawer drawer;
    DeviceKey device{UniqueDeviceName(L"VX-LIFE")};
    FakeControlObject co;
    ComPtr<IDispatch> so = NewServiceObject();
};

TEST_F(Lifecycle, OpenServiceTwiceIsIllegalAndKeepsTheFirstBinding) {
    ASSERT_EQ(Open(), 0);
    FakeControlObject other;
    EXPECT_EQ(OpenService(so.get(), device.Name(), &other), 106);
    EXPECT_EQ(ResultCode(so.get()), 106);
    EXPECT_TRUE(other.LookedUpNames().empty());
    EXPECT_EQ(Number(9), 2); // still open
}

TEST_F(Lifecycle, OpenServiceLooksUpBothCallbacksInOrderAndTakesNoReference) {
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(co.LookedUpNames(), (std::vector<std::wstring>{L"SODirectIO", L"SOStatusUpdate"}));
    EXPECT_EQ(co.OutstandingRefs(), 0);
    EXPECT_EQ(Close(), 0);
    so.reset();
    EXPECT_EQ(co.OutstandingRefs(), 0);
}

TEST_F(Lifecycle, ControlObjectLackingACallbackStillOpens) {
    for (auto lacks : {FakeControlObject::Lacks::DirectIO, FakeControlObject::Lacks::StatusUpdate}) {
        FakeControlObject partial(lacks);
        ComPtr<IDispatch> fresh = NewServiceObject();
        EXPECT_EQ(OpenService(fresh.get(), device.Name(), &partial), 0);
        EXPECT_EQ(CallLong(fresh.get(), so_dispid::Claim, {Long(0)}), 0);
        EXPECT_EQ(CallLong(fresh.get(), so_dispid::Close), 0);
    }
    // Missing SODirectIO means SOStatusUpdate is not even asked for.
    FakeControlObject noDirectIO(FakeControlObject::Lacks::DirectIO);
    ComPtr<IDispatch> fresh = NewServiceObject();
    EXPECT_EQ(OpenService(fresh.get(), device.Name(), &noDirectIO), 0);
    EXPECT_EQ(noDirectIO.LookedUpNames(), std::vector<std::wstring>{L"SODirectIO"});
}

TEST_F(Lifecycle, OpenServiceWithoutAControlObjectOpens) {
    EXPECT_EQ(OpenService(so.get(), device.Name(), nullptr), 0);
    EXPECT_EQ(Number(9), 2);
}

TEST_F(Lifecycle, MissingDeviceKeyGivesNoServiceAndStaysClosed) {
    EXPECT_EQ(OpenService(so.get(), UniqueDeviceName(L"VX-NONE"), &co), 104);
    EXPECT_EQ(Number(6), 101); // closed: property reads answer 101
    EXPECT_EQ(Claim(0), 101);
    EXPECT_TRUE(co.LookedUpNames().empty());
}

TEST_F(Lifecycle, ClosedObjectRefusesClaimReleaseAndClose) {
    EXPECT_EQ(Claim(0), 101);
    EXPECT_EQ(Release(), 101);
    EXPECT_EQ(Close(), 101);
}

TEST_F(Lifecycle, ClaimOpensTheDrawerPortAndReleaseClosesIt) {
    ASSERT_EQ(Open(), 0);
    EXPECT_FALSE(drawer.LineHeld());
    ASSERT_EQ(Claim(0), 0);
    EXPECT_EQ(Number(1), 1);
    EXPECT_EQ(ResultCode(so.get()), 0);
    EXPECT_TRUE(drawer.LineHeld());
    EXPECT_EQ(Claim(0), 106); // already claimed
    EXPECT_EQ(Release(), 0);
    EXPECT_EQ(Number(1), 0);
    EXPECT_FALSE(drawer.LineHeld());
    EXPECT_EQ(Release(), 106); // not claimed
}

TEST_F(Lifecycle, FinalReleaseOfAClaimedEnabledObjectStopsItsWorkersAndFreesThePort) {
    const int threads = ThreadCount();
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(Claim(0), 0);
    CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(3), Long(1)});
    ASSERT_EQ(ResultCode(so.get()), 0);
    ASSERT_GE(ThreadCount(), threads + 2); // the event dispatch thread and the status monitor
    so.reset();
    EXPECT_FALSE(drawer.LineHeld());
    EXPECT_TRUE(PumpUntil([&] { return ThreadCount() <= threads; }, 10000)) << ThreadCount() << " threads";
}

TEST_F(Lifecycle, ClaimTimeoutBelowForeverIsIllegal) {
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(Claim(-2), 106);
    EXPECT_EQ(Number(1), 0);
}

TEST_F(Lifecycle, ClaimOfAnUnavailablePortFailsWithinItsAttempts) {
    ASSERT_EQ(Open(), 0);
    drawer.Expect("UNAVAILABLE");
    EXPECT_EQ(Claim(0), 111);
    EXPECT_EQ(Claim(50), 111);  // 50 / 100 = no attempt at all
    EXPECT_EQ(Claim(250), 111); // two attempts, back to back
    EXPECT_EQ(Number(1), 0);
    drawer.Expect("AVAILABLE");
    EXPECT_EQ(Claim(250), 0);
}

TEST_F(Lifecycle, ClaimWithAFewHundredMillisecondsMakesNoPauses) {
    ASSERT_EQ(Open(), 0);
    drawer.Expect("UNAVAILABLE");
    auto start = Clock::now();
    EXPECT_EQ(Claim(1000), 111);
    // Ten failed opens take next to nothing; one pause per attempt would take a second.
    EXPECT_LT(Ms(Clock::now() - start), 900);
}

// Runs Close through the thread's message queue, the way a call from the
// application would reach a Claim that is waiting.
struct CloseFromTimer {
    static inline IDispatch* target = nullptr;
    static inline long result = -1;
    static inline Clock::time_point when;
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        when = Clock::now();
        result = CallLong(target, so_dispid::Close);
    }
};

TEST_F(Lifecycle, UnlimitedClaimKeepsMessagesFlowingAndEndsOnClose) {
    ASSERT_EQ(Open(), 0);
    drawer.Expect("UNAVAILABLE");
    CloseFromTimer::target = so.get();
    CloseFromTimer::result = -1;
    UINT_PTR timer = SetTimer(nullptr, 0, 300, &CloseFromTimer::Fire);
    ASSERT_NE(timer, 0u);

    EXPECT_EQ(Claim(-1), 111);
    auto end = Clock::now();
    EXPECT_EQ(CloseFromTimer::result, 0);
    EXPECT_LE(Ms(end - CloseFromTimer::when), 1000); // about 100 ms after the Close
    EXPECT_EQ(Number(6), 101);                       // and the object is closed
}

TEST_F(Lifecycle, UnlimitedClaimSucceedsOnceThePortComesBack) {
    ASSERT_EQ(Open(), 0);
    drawer.Expect("UNAVAILABLE");
    struct Restore {
        static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            VirtualDrawer().Expect("AVAILABLE");
        }
    };
    ASSERT_NE(SetTimer(nullptr, 0, 250, &Restore::Fire), 0u);
    EXPECT_EQ(Claim(-1), 0);
    EXPECT_EQ(Number(1), 1);
}

TEST_F(Lifecycle, UnlimitedClaimLeavesQuitForTheApplicationLoop) {
    ASSERT_EQ(Open(), 0);
    drawer.Expect("UNAVAILABLE");
    // Posted messages still come before WM_QUIT: the claim's pump brings the port back.
    struct Restore {
        static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_APP) {
                VirtualDrawer().Expect("AVAILABLE");
                return 0;
            }
            return DefWindowProcW(window, message, wParam, lParam);
        }
    };
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Restore::Proc;
    wc.lpszClassName = L"VtxRestorePort";
    RegisterClassW(&wc);
    HWND window =
        CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    PostQuitMessage(7);
    PostMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(Claim(-1), 0);
    DestroyWindow(window);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(Lifecycle, CloseOfAClaimedDeviceReleasesAndAllowsAReopen) {
    ASSERT_EQ(Open(), 0);
    ASSERT_EQ(Claim(0), 0);
    EXPECT_EQ(Close(), 0);
    EXPECT_EQ(Number(1), 101);
    EXPECT_EQ(Open(), 0);
    EXPECT_EQ(Number(1), 0);
    EXPECT_EQ(Claim(0), 0);
    EXPECT_EQ(Close(), 0);
}

TEST_F(Lifecycle, FreezeEventsAnswersZeroInEveryStateAndStoresNothing) {
    EXPECT_EQ(CallLong(so.get(), so_dispid::COFreezeEvents, {Bool(true)}), 0);
    ASSERT_EQ(Open(), 0);
    EXPECT_EQ(Claim(-5), 106);
    EXPECT_EQ(CallLong(so.get(), so_dispid::COFreezeEvents, {Bool(false)}), 0);
    EXPECT_EQ(ResultCode(so.get()), 106);
}

} // namespace
} // namespace vtx::test
