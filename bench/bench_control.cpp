// What a POS application pays through our Control Object, under Wine against
// the virtual drawer, with both servers registered (scripts/bench.sh does it):
//  - creating the Control Object by its ProgID,
//  - Open (which creates the service object through COM), Claim, enable,
//    Close, each timed,
//  - memory and threads after many full cycles, to show what a cycle leaks.
// Prints min / median / max over N cycles (default 50).
#include "ControlObjectIds.h"
#include "DeviceRegistry.h"
#include "Dispatch.h"
#include "BenchMain.h"
#include "Figures.h"
#include "ThreadCount.h"
#include "VirtualDrawer.h"
#include "com/ComPtr.h"

#include <winsock2.h>
#include <objbase.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace vtx;
using namespace vtx::test;
using namespace vtx::bench;

namespace {

// Wine answers PrivateUsage with 0; PagefileUsage is what it keeps.
double CommittedKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PagefileUsage) / 1024.0;
}

ComPtr<IDispatch> CreateControl() {
    CLSID clsid{};
    ComPtr<IDispatch> control;
    if (FAILED(CLSIDFromProgID(co::kProgId, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.put_void()))) {
        return {};
    }
    return control;
}

long SetEnabled(IDispatch* control, bool on) {
    VARIANT value = Bool(on);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    if (FAILED(control->Invoke(co_dispid::DeviceEnabled, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                               &params, nullptr, nullptr, nullptr))) {
        return -1;
    }
    InvokeResult code = InvokeRaw(control, co_dispid::ResultCode, {}, DISPATCH_PROPERTYGET);
    return V_VT(code.value.get()) == VT_I4 ? V_I4(code.value.get()) : -1;
}

struct Timings {
    std::vector<double> create, open, claim, enable, close;
};

// One application session; false when a step failed.
bool Cycle(const std::wstring& device, Timings& t) {
    auto start = Clock::now();
    ComPtr<IDispatch> control = CreateControl();
    if (!control) {
        std::printf("the Control Object \"OPOS.CashDrawer\" cannot be created: is it registered?\n");
        return false;
    }
    t.create.push_back(MsSince(start));

    Arg name(Text(device.c_str()));
    start = Clock::now();
    long rc = CallLong(control.get(), co_dispid::Open, {name.v()});
    t.open.push_back(MsSince(start));
    if (rc == 0) {
        start = Clock::now();
        rc = CallLong(control.get(), co_dispid::Claim, {Long(1000)});
        t.claim.push_back(MsSince(start));
    }
    if (rc == 0) {
        start = Clock::now();
        rc = SetEnabled(control.get(), true);
        t.enable.push_back(MsSince(start));
    }
    start = Clock::now();
    long closed = CallLong(control.get(), co_dispid::Close);
    t.close.push_back(MsSince(start));
    if (rc != 0 || closed != 0) {
        std::printf("cycle failed: result code %ld, Close %ld\n", rc, closed);
        return false;
    }
    return true;
}

int Run(int cycles) {
    VirtualDrawer drawer;
    drawer.Reset();
    DeviceKey device(UniqueDeviceName(L"VX-BENCH"));
    device.SetPort(drawer.PortName());
    const std::wstring progId = L"Veltrix.OPOS.CashDrawerUSB";
    device.SetRaw(L"", REG_SZ, progId.c_str(), static_cast<DWORD>((progId.size() + 1) * sizeof(wchar_t)));

    Timings t;
    // The first cycle loads both libraries; measure from the second on.
    Timings warmUp;
    if (!Cycle(device.Name(), warmUp)) {
        return 1;
    }
    CoFreeUnusedLibraries();
    const double memoryBefore = CommittedKiB();
    const int threadsBefore = ThreadCount();
    int failed = 0;
    for (int i = 0; i < cycles; ++i) {
        failed += Cycle(device.Name(), t) ? 0 : 1;
    }
    CoFreeUnusedLibraries();
    Report("create Control Object by ProgID", t.create);
    Report("Open (service object created through COM)", t.open);
    Report("Claim(1000) on the virtual drawer", t.claim);
    Report("DeviceEnabled = true", t.enable);
    Report("Close of an enabled, claimed device", t.close);
    std::printf("%-52s %d\n", "failed cycles", failed);
    std::printf("%-52s %+.0f KiB over %d cycles\n", "committed memory", CommittedKiB() - memoryBefore,
                cycles);
    std::printf("%-52s %d before, %d after\n", "threads", threadsBefore, ThreadCount());
    return failed == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    return vtx::bench::BenchMain(argc, argv, "bench_control", 50, Run);
}
