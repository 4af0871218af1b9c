// What the trace log costs: OpenDrawer's time and the drawer change ->
// SOStatusUpdate latency with tracing off, at level 2 and at level 3; and how
// long the workers take to stop at level 3 while a child of this program
// holds the log's mutex.
//   bench_trace [RUNS]    (latency samples per level; OpenDrawer is timed 20x as often)
//   bench_trace --hold-mutex NAME READY RELEASE    (the child: READY and RELEASE are
//                                                   inherited event handles)
#include "BenchMain.h"
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "Figures.h"
#include "MessagePump.h"
#include "ServiceObject.h"
#include "VirtualDrawer.h"
#include "events/OPOSThread.h"
#include "trace/TraceLog.h"
#include "win32/UniqueHandle.h"

#include <winsock2.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace vtx;
using namespace vtx::test;
using namespace vtx::bench;

namespace {

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
    CallLong(so.get(), so_dispid::Claim, {Long(0)});
    CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(3), Long(1)});
    PumpFor(300);

    std::vector<double> openDrawer;
    for (int i = 0; i < runs * 20; ++i) {
        auto start = Clock::now();
        CallVoid(so.get(), so_dispid::OpenDrawer);
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
    CallLong(so.get(), so_dispid::Close);
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

// The child: owns the named mutex from before READY until RELEASE (or a minute).
int HoldMutex(char** argv) {
    std::wstring name(argv[2], argv[2] + std::strlen(argv[2])); // "Local\VTXCashDrawerTrace-<hex>"
    HANDLE ready = reinterpret_cast<HANDLE>(std::strtoull(argv[3], nullptr, 10));
    HANDLE release = reinterpret_cast<HANDLE>(std::strtoull(argv[4], nullptr, 10));
    UniqueHandle mutex(CreateMutexW(nullptr, TRUE, name.c_str()));
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        return 1;
    }
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    ReleaseMutex(mutex.get());
    return 0;
}

struct StopTimes {
    std::vector<double> disable;
    std::vector<double> close;
    std::vector<double> finalRelease;
    long forced = 0;
};

// Disable (the status monitor's stop) and Close (both workers' stops) of one
// object at level 3, runs times each; then its final release, which flushes the log.
StopTimes MeasureStops(DeviceKey& device, int runs) {
    StopTimes times;
    const long forcedBefore = COPOSThread::ForcedStopCount();
    FakeControlObject co;
    ComPtr<IDispatch> so = NewServiceObject();
    for (int i = 0; i < runs; ++i) {
        OpenService(so.get(), device.Name(), &co);
        CallLong(so.get(), so_dispid::Claim, {Long(0)});
        for (std::vector<double>* stops : {&times.disable, &times.close}) {
            CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(3), Long(1)});
            PumpFor(static_cast<DWORD>(150 + std::rand() % 200)); // the monitor mid-exchange, or between
            auto start = Clock::now();
            if (stops == &times.disable) {
                CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(3), Long(0)});
            } else {
                CallLong(so.get(), so_dispid::Close);
            }
            stops->push_back(MsSince(start));
        }
    }
    auto start = Clock::now();
    so.reset();
    times.finalRelease.push_back(MsSince(start));
    times.forced = COPOSThread::ForcedStopCount() - forcedBefore;
    return times;
}

void ReportStops(const char* when, const StopTimes& times) {
    char label[64];
    std::snprintf(label, sizeof label, "disable (monitor stop), %s", when);
    Report(label, times.disable);
    std::snprintf(label, sizeof label, "Close (workers' stop), %s", when);
    Report(label, times.close);
    std::snprintf(label, sizeof label, "last release (log flush), %s", when);
    Report(label, times.finalRelease);
    std::printf("%-52s %ld\n", "  workers ended by force", times.forced);
}

// The stops at level 3 with the log's mutex free, then held by a child
// process throughout (the final release's flush then gives up at its limit).
void MeasureStopsWithMutexHeld(VirtualDrawer& drawer, DeviceKey& device, int runs) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring file = std::wstring(temp) + L"vtx-bench-trace-held.log";
    DeleteFileW(file.c_str());
    const DWORD level = 3;
    device.SetRaw(L"TraceLevel", REG_DWORD, &level, sizeof(level));
    device.SetRaw(L"TraceFile", REG_SZ, file.c_str(),
                  static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
    drawer.Reset();
    ReportStops("log's mutex free", MeasureStops(device, runs));

    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueHandle ready(CreateEventW(&inherit, TRUE, FALSE, nullptr));
    UniqueHandle release(CreateEventW(&inherit, TRUE, FALSE, nullptr));
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --hold-mutex " + TraceMutexName(file) + L" " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(ready.get())) + L" " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(release.get()));
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("! no mutex holder: error %lu\n", GetLastError());
        return;
    }
    CloseHandle(pi.hThread);
    UniqueHandle holder(pi.hProcess);
    HANDLE started[] = {ready.get(), holder.get()};
    if (WaitForMultipleObjects(2, started, FALSE, 10000) != WAIT_OBJECT_0) {
        std::printf("! the mutex holder did not take the mutex\n");
        return;
    }
    StopTimes held = MeasureStops(device, runs);
    SetEvent(release.get());
    WaitForSingleObject(holder.get(), 10000);
    ReportStops("log's mutex held elsewhere", held);
    DeleteFileW(file.c_str());
    DeleteFileW((file + L".1").c_str());
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--hold-mutex") == 0) {
        return HoldMutex(argv);
    }
    return vtx::bench::BenchMain(argc, argv, "bench_trace", 10, [](int runs) {
        VirtualDrawer drawer;
        DeviceKey device(UniqueDeviceName(L"VX-BTRC"));
        device.SetPort(drawer.PortName());
        for (DWORD level : {0ul, 2ul, 3ul}) {
            Measure(drawer, device, level, runs);
        }
        MeasureStopsWithMutexHeld(drawer, device, runs);
        return 0;
    });
}
