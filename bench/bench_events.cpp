// Event and shutdown timings under Wine against the virtual drawer:
//  - drawer change -> SOStatusUpdate on the application's thread,
//  - Close of an enabled, claimed device,
//  - disabling an unclaimed device,
//  - how often a worker had to be ended by force.
// Prints min / median / max over N runs (default 20).
#include "DeviceRegistry.h"
#include "BenchMain.h"
#include "Figures.h"
#include "FakeControlObject.h"
#include "MessagePump.h"
#include "ServiceObject.h"
#include "VirtualDrawer.h"

#include <winsock2.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace vtx;
using namespace vtx::test;

namespace {

using vtx::bench::Clock;
using vtx::bench::MsSince;
using vtx::bench::Report;

long Number(IDispatch* so, long pidx) {
    return CallLong(so, dispid::GetPropertyNumber, {Long(pidx)});
}
void Enable(IDispatch* so, long v) {
    CallVoid(so, dispid::SetPropertyNumber, {Long(3), Long(v)});
}

int Run(int runs) {
    VirtualDrawer drawer;
    drawer.Reset();
    DeviceKey device(UniqueDeviceName(L"VX-BENCH"));
    device.SetPort(drawer.PortName());
    long forcedBefore = COPOSThread::ForcedStopCount();

    // Latency: the drawer changes at a random point of the 1.5 s poll cycle.
    {
        FakeControlObject co;
        ComPtr<IDispatch> so = NewServiceObject();
        OpenService(so.get(), device.Name(), &co);
        CallLong(so.get(), dispid::Claim, {Long(0)});
        Enable(so.get(), 1);
        PumpFor(300);
        std::vector<double> latency;
        std::srand(12345);
        for (int i = 0; i < runs; ++i) {
            PumpFor(static_cast<DWORD>(std::rand() % 700));
            size_t seen = co.Updates().size();
            auto changed = Clock::now();
            drawer.Expect(i % 2 == 0 ? "OPEN" : "CLOSE");
            if (!PumpUntil([&] { return co.Updates().size() > seen; }, 10000)) {
                std::printf("run %d: no event within 10 s\n", i);
                continue;
            }
            latency.push_back(MsSince(changed));
        }
        Report("drawer change -> SOStatusUpdate", latency);
        CallLong(so.get(), dispid::Close);
    }

    // Close of an enabled, claimed device.
    {
        std::vector<double> closeMs;
        for (int i = 0; i < runs; ++i) {
            FakeControlObject co;
            ComPtr<IDispatch> so = NewServiceObject();
            OpenService(so.get(), device.Name(), &co);
            CallLong(so.get(), dispid::Claim, {Long(0)});
            Enable(so.get(), 1);
            PumpFor(static_cast<DWORD>(100 + (i * 73) % 600));
            auto start = Clock::now();
            CallLong(so.get(), dispid::Close);
            closeMs.push_back(MsSince(start));
        }
        Report("Close (enabled, claimed)", closeMs);
    }

    // Disabling an unclaimed device.
    {
        FakeControlObject co;
        ComPtr<IDispatch> so = NewServiceObject();
        OpenService(so.get(), device.Name(), &co);
        std::vector<double> disableMs;
        for (int i = 0; i < runs; ++i) {
            Enable(so.get(), 1);
            PumpFor(static_cast<DWORD>(100 + (i * 73) % 600));
            auto start = Clock::now();
            Enable(so.get(), 0);
            disableMs.push_back(MsSince(start));
            if (Number(so.get(), 6) != 0) {
                std::printf("run %d: disable failed\n", i);
            }
        }
        Report("disable (unclaimed)", disableMs);
        CallLong(so.get(), dispid::Close);
    }

    std::printf("%-52s %ld\n", "workers ended by force", COPOSThread::ForcedStopCount() - forcedBefore);
    std::printf("%-52s %ld\n", "event records still alive", COPOSEvent::LiveCount());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return vtx::bench::BenchMain(argc, argv, "bench_events", 20, Run);
}
