// Many drawers in one process, under Wine against several virtual drawers:
//  - 8 service objects on one thread, each on its own port and with its own
//    Control Object, all enabled, a random drawer changed at random moments:
//    latency per device, events lost or delivered where no change happened,
//    and the idle CPU of the whole process with all of them enabled;
//  - open-claim-enable-open drawer-disable-release-close cycles, with the
//    process's gauges every 100 cycles.
// Drawers: VDRAWER_CONTROL_PORT/VDRAWER_COM, then VDRAWER_FLEET="com:port,...".
// Each figure is one row "label  arch  value" so that scripts/bench.sh can
// put both architectures' rows side by side; other lines start with "!".
// Usage: bench_fleet [TOGGLES [CYCLES]]   (defaults 200, 1000)
#include "BenchMain.h"
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "Figures.h"
#include "MessagePump.h"
#include "ProcessGauges.h"
#include "ServiceObject.h"
#include "VirtualDrawer.h"
#include "opos/OposConstants.h"

#include <winsock2.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace vtx;
using namespace vtx::test;
using namespace vtx::bench;

namespace {

constexpr int kDevices = 8;
constexpr DWORD kLostAfterMs = 10000;
constexpr DWORD kPollPauseMs = 1500; // the status monitor's, between two polls
constexpr DWORD kIdleMs = 10000;
constexpr int kGaugeEvery = 100;
// The heap settles within the first 200 sessions (one more page between 100 and 200).
constexpr int kWarmUpCycles = 200;
const char* const kArch = sizeof(void*) == 8 ? "x86_64" : "i686";

void Row(const std::string& label, const std::string& value) {
    std::printf("%-46s %-7s %s\n", label.c_str(), kArch, value.c_str());
    std::fflush(stdout);
}

struct Endpoint {
    int controlPort;
    int com;
};

std::vector<Endpoint> Endpoints() {
    std::vector<Endpoint> list;
    list.push_back({static_cast<int>(fuzz::NumberFrom("VDRAWER_CONTROL_PORT", 0)),
                    static_cast<int>(fuzz::NumberFrom("VDRAWER_COM", 0))});
    const char* fleet = std::getenv("VDRAWER_FLEET");
    std::stringstream items(fleet != nullptr ? fleet : "");
    for (std::string item; std::getline(items, item, ',');) {
        int com = 0;
        int port = 0;
        if (std::sscanf(item.c_str(), "%d:%d", &com, &port) == 2) {
            list.push_back({port, com});
        }
    }
    return list;
}

long Number(IDispatch* so, long pidx) {
    return CallLong(so, so_dispid::GetPropertyNumber, {Long(pidx)});
}
void Enable(IDispatch* so, long v) {
    CallVoid(so, so_dispid::SetPropertyNumber, {Long(opos::PIDX_DeviceEnabled), Long(v)});
}

// One drawer with its service object and Control Object. The status handler
// runs on this (the only) thread, inside the message pump.
struct Device {
    explicit Device(const Endpoint& at) : drawer(at.controlPort, at.com), key(UniqueDeviceName(L"VX-FLEET")) {
        key.SetPort(drawer.PortName());
    }

    VirtualDrawer drawer;
    DeviceKey key;
    FakeControlObject co;
    ComPtr<IDispatch> so;
    bool armed = false;
    bool open = false;
    std::optional<Clock::time_point> changedAt; // a change whose event is still due
    std::chrono::milliseconds holdoff{0};       // after that event, before the next change
    Clock::time_point readyAt{};
    std::vector<double> latency;
    long lost = 0;
    long unexpected = 0;
};

// Pumps with no timer of its own, as an idle application's message loop.
void IdleLoop(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

double CpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

std::string Gauges(const fuzz::Gauges& g) {
    char text[128];
    std::snprintf(text, sizeof(text),
                  "handles %5ld  threads %3ld  committed %7lld KB  windows %ld  records %ld", g.handles,
                  g.threads, g.committedKb, g.eventWindows, g.eventRecords);
    return text;
}

using Devices = std::vector<std::unique_ptr<Device>>;

// The status handler: a latency for an expected change, or an event nothing explains.
void WatchStatus(Device* device) {
    device->co.OnStatusUpdate([device](long status) {
        if (!device->armed) {
            return;
        }
        const long expected = device->open ? opos::CASH_SUE_DRAWEROPEN : opos::CASH_SUE_DRAWERCLOSED;
        if (device->changedAt && status == expected) {
            device->latency.push_back(MsSince(*device->changedAt));
            device->changedAt.reset();
            device->readyAt = Clock::now() + device->holdoff;
        } else {
            ++device->unexpected;
            std::printf("! %s device %ls: status %ld with no change of its drawer due\n", kArch,
                        device->key.Name().c_str(), status);
        }
    });
}

// Every device opened, claimed and enabled, then armed; false when one failed.
bool EnableAll(Devices& devices) {
    for (auto& d : devices) {
        Device* device = d.get();
        device->drawer.Reset();
        WatchStatus(device);
        device->so = NewServiceObject();
        long rc = OpenService(device->so.get(), device->key.Name(), &device->co);
        if (rc == 0) {
            rc = CallLong(device->so.get(), so_dispid::Claim, {Long(1000)});
        }
        if (rc == 0) {
            Enable(device->so.get(), 1);
            rc = ResultCode(device->so.get());
        }
        if (rc != 0) {
            std::printf("! %s %ls on COM%d: open/claim/enable failed with %ld\n", kArch,
                        device->key.Name().c_str(), device->drawer.ComNumber(), rc);
            return false;
        }
    }
    // Whatever enabling reports is not a change made here.
    PumpFor(2000);
    for (auto& d : devices) {
        d->armed = true;
    }
    return true;
}

// A change not reported within kLostAfterMs counts as lost.
void ExpireLost(Devices& devices) {
    for (auto& d : devices) {
        if (d->changedAt && MsSince(*d->changedAt) > kLostAfterMs) {
            ++d->lost;
            d->changedAt.reset();
        }
    }
}

std::vector<Device*> IdleDevices(Devices& devices) {
    std::vector<Device*> idle;
    for (auto& d : devices) {
        if (!d->changedAt && Clock::now() >= d->readyAt) {
            idle.push_back(d.get());
        }
    }
    return idle;
}

// A drawer changed twice within one poll shows no change at all: only a
// drawer whose last change was reported is changed again, and only after
// a random pause, or the change would follow its poll at a fixed phase.
void ToggleDrawers(Devices& devices, int toggles, std::mt19937& random) {
    for (int i = 0; i < toggles; ++i) {
        PumpUntil(
            [&] {
                ExpireLost(devices);
                return false;
            },
            std::uniform_int_distribution<DWORD>(0, 300)(random));
        PumpUntil(
            [&] {
                ExpireLost(devices);
                return !IdleDevices(devices).empty();
            },
            kLostAfterMs * 2);
        std::vector<Device*> idle = IdleDevices(devices);
        if (idle.empty()) {
            continue; // the pump ran out of time
        }
        Device* device = idle[std::uniform_int_distribution<size_t>(0, idle.size() - 1)(random)];
        device->open = !device->open;
        device->changedAt = Clock::now();
        device->holdoff =
            std::chrono::milliseconds(std::uniform_int_distribution<DWORD>(0, kPollPauseMs)(random));
        device->drawer.Expect(device->open ? "OPEN" : "CLOSE");
    }
    PumpUntil(
        [&] {
            ExpireLost(devices);
            return std::ranges::none_of(devices, [](auto& d) { return d->changedAt.has_value(); });
        },
        kLostAfterMs * 2);
    // Late or doubled events would arrive now.
    PumpFor(3000);
}

void ReportLatency(const Devices& devices) {
    std::vector<double> all;
    long lost = 0;
    long unexpected = 0;
    for (size_t i = 0; i < devices.size(); ++i) {
        Device& d = *devices[i];
        char label[64];
        std::snprintf(label, sizeof(label), "device %zu (COM%d): change -> SOStatusUpdate", i + 1,
                      d.drawer.ComNumber());
        Row(label, Summary(d.latency));
        all.insert(all.end(), d.latency.begin(), d.latency.end());
        lost += d.lost;
        unexpected += d.unexpected;
    }
    Row("all devices: change -> SOStatusUpdate", Summary(all));
    Row("changes never reported (lost)", std::to_string(lost));
    Row("events with no change of their drawer", std::to_string(unexpected));
}

void ReportIdle(size_t enabled) {
    const double cpuBefore = CpuMs();
    const auto wallBefore = Clock::now();
    IdleLoop(kIdleMs);
    const double cpu = CpuMs() - cpuBefore;
    const double wall = MsSince(wallBefore);
    char idle[96];
    std::snprintf(idle, sizeof(idle), "%.2f %% (%.0f ms CPU in %.0f ms)", 100.0 * cpu / wall, cpu, wall);
    Row("idle CPU, " + std::to_string(enabled) + " enabled, whole process", idle);
    Row("gauges with all enabled", Gauges(fuzz::ReadGauges()));
}

bool Fleet(const std::vector<Endpoint>& endpoints, int toggles, std::mt19937& random) {
    Devices devices;
    for (const Endpoint& at : endpoints) {
        devices.push_back(std::make_unique<Device>(at));
    }
    if (!EnableAll(devices)) {
        return false;
    }
    ToggleDrawers(devices, toggles, random);
    ReportLatency(devices);
    ReportIdle(devices.size());
    for (auto& d : devices) {
        d->armed = false;
        CallLong(d->so.get(), so_dispid::Close);
    }
    return true;
}

// One full session on one drawer; false when a step failed.
bool Cycle(Device& device) {
    FakeControlObject co;
    ComPtr<IDispatch> so = NewServiceObject();
    long rc = OpenService(so.get(), device.key.Name(), &co);
    if (rc == 0) {
        rc = CallLong(so.get(), so_dispid::Claim, {Long(1000)});
    }
    if (rc == 0) {
        Enable(so.get(), 1);
        rc = ResultCode(so.get());
    }
    if (rc == 0) {
        CallVoid(so.get(), so_dispid::OpenDrawer);
        rc = ResultCode(so.get());
    }
    if (rc == 0) {
        Enable(so.get(), 0);
        rc = Number(so.get(), opos::PIDX_ResultCode);
    }
    if (rc == 0) {
        rc = CallLong(so.get(), so_dispid::Release);
    }
    const long closed = CallLong(so.get(), so_dispid::Close);
    PumpFor(0); // what the session posted to this thread
    device.drawer.Command("CLOSE");
    return rc == 0 && closed == 0;
}

void Cycles(const std::vector<Endpoint>& endpoints, int cycles) {
    std::vector<std::unique_ptr<Device>> devices;
    for (const Endpoint& at : endpoints) {
        devices.push_back(std::make_unique<Device>(at));
    }
    Row("cycles: gauges before the first", Gauges(fuzz::ReadGauges()));
    fuzz::Gauges warm{};
    fuzz::Gauges last{};
    long failed = 0;
    std::vector<double> ms;
    ms.reserve(static_cast<size_t>(cycles)); // its growth is not the sessions'
    for (int i = 1; i <= cycles; ++i) {
        auto start = Clock::now();
        failed += Cycle(*devices[static_cast<size_t>(i) % devices.size()]) ? 0 : 1;
        ms.push_back(MsSince(start));
        if (i % kGaugeEvery == 0) {
            fuzz::Gauges g = fuzz::ReadGauges();
            if (i == kWarmUpCycles) {
                warm = g;
            }
            last = g;
            char label[64];
            std::snprintf(label, sizeof(label), "cycles: gauges after %4d", i);
            Row(label, Gauges(g));
        }
    }
    Row("cycles: one open..close cycle", Summary(ms));
    Row("cycles: failed", std::to_string(failed));
    if (cycles >= kWarmUpCycles + kGaugeEvery) {
        const fuzz::Gauges& g = last;
        char growth[128];
        std::snprintf(growth, sizeof(growth),
                      "handles %+ld  threads %+ld  committed %+lld KB  windows %+ld  records %+ld",
                      g.handles - warm.handles, g.threads - warm.threads, g.committedKb - warm.committedKb,
                      g.eventWindows - warm.eventWindows, g.eventRecords - warm.eventRecords);
        Row("cycles: growth from " + std::to_string(kWarmUpCycles) + " to " +
                std::to_string(cycles / kGaugeEvery * kGaugeEvery),
            growth);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int cycles = argc > 2 ? std::atoi(argv[2]) : 1000;
    return vtx::bench::BenchMain(argc, argv, "bench_fleet", 200, [cycles](int toggles) {
        std::vector<Endpoint> endpoints = Endpoints();
        if (endpoints.size() != kDevices) {
            std::printf("! %s: %zu drawers given, %d wanted (VDRAWER_FLEET)\n", kArch, endpoints.size(),
                        kDevices);
        }
        const uint64_t seed = fuzz::SeedFrom("VTX_FLEET_SEED", "! bench_fleet");
        std::mt19937 random(static_cast<std::mt19937::result_type>(seed));
        if (!Fleet(endpoints, toggles, random)) {
            return 1;
        }
        Cycles(endpoints, cycles > 0 ? cycles : 1000);
        return 0;
    });
}
