// What the trace log costs: OpenDrawer's time and the drawer change ->
// SOStatusUpdate latency with tracing off, at level 2 and at level 3.
//   bench_trace [RUNS]    (latency samples per level; OpenDrawer is timed 20x as often)
#include "BenchMain.h"
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "Figures.h"
#include "MessagePump.h"
#include "ServiceObject.h"
#include "VirtualDrawer.h"

#include <winsock2.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vtx;
using namespace vtx::test;

namespace {

using vtx::bench::Clock;
using vtx::bench::MsSince;
using vtx::bench::Report;

void Measure(VirtualDrawer& drawer, DeviceKey& device, DWORD level, int runs) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring file = std::wstring(temp) + L"vtx-bench-trace.log";
    DeleteFileW(file.c_str());
    device.SetRaw(L"TraceLevel", REG_DWORD, &level, sizeof(level));
    device.SetRaw(L"TraceFile", REG_SZ, file.c_str(),
                  static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
    drawer.Reset();

    FakeControlObject co;
    ComPtr<IDispatch> so = NewServiceObject();
    OpenService(so.get(), device.Name(), &co);
    CallLong(so.get(), dispid::Claim, {Long(0)});
    CallVoid(so.get(), dispid::SetPropertyNumber, {Long(3), Long(1)});
    PumpFor(300);

    std::vector<double> openDrawer;
    for (int i = 0; i < runs * 20; ++i) {
        auto start = Clock::now();
        CallVoid(so.get(), dispid::OpenDrawer);
        openDrawer.push_back(MsSince(start));
    }
    drawer.Expect("CLOSE");
    PumpFor(1700); // let the monitor settle on "closed"
    const size_t settled = co.Updates().size();

    std::vector<double> latency;
    std::srand(12345);
    for (int i = 0; i < runs; ++i) {
        PumpFor(static_cast<DWORD>(std::rand() % 700));
        size_t seen = co.Updates().size();
        auto changed = Clock::now();
        drawer.Expect(((co.Updates().size() - settled) % 2 == 0) ? "OPEN" : "CLOSE");
        if (PumpUntil([&] { return co.Updates().size() > seen; }, 10000)) {
            latency.push_back(MsSince(changed));
        }
    }
    CallLong(so.get(), dispid::Close);
    so.reset();

    char label[64];
    std::snprintf(label, sizeof label, "OpenDrawer, trace level %lu", level);
    Report(label, openDrawer);
    std::snprintf(label, sizeof label, "drawer change -> SOStatusUpdate, trace level %lu", level);
    Report(label, latency);
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (level > 0 && GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &info)) {
        std::printf("%-52s %lu bytes\n", "  log written", info.nFileSizeLow);
    }
    DeleteFileW(file.c_str());
    DeleteFileW((file + L".1").c_str());
}

} // namespace

int main(int argc, char** argv) {
    return vtx::bench::BenchMain(argc, argv, "bench_trace", 10, [](int runs) {
        VirtualDrawer drawer;
        DeviceKey device(UniqueDeviceName(L"VX-BTRC"));
        device.SetPort(drawer.PortName());
        for (DWORD level : {0ul, 2ul, 3ul}) {
            Measure(drawer, device, level, runs);
        }
        return 0;
    });
}
