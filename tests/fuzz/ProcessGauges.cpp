// Handles, threads, committed memory, event windows and live event records of this process.
#include "ProcessGauges.h"

#include "ThreadCount.h"
#include "events/OPOSEvent.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>

namespace vtx::fuzz {

namespace {
long CountHandles() {
    long count = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
        }
    }
    return count;
}

BOOL CALLBACK CountEventWindow(HWND window, LPARAM counter) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (pid == GetCurrentProcessId() && wcscmp(title, L"EventInterfaceWindow") == 0) {
        ++*reinterpret_cast<long*>(counter);
    }
    return TRUE;
}
} // namespace

Gauges ReadGauges() {
    Gauges g;
    g.handles = CountHandles();
    g.threads = test::ThreadCount();
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc))) {
        g.committedKb = static_cast<long long>(pmc.PagefileUsage / 1024);
    }
    g.eventRecords = COPOSEvent::LiveCount();
    EnumWindows(&CountEventWindow, reinterpret_cast<LPARAM>(&g.eventWindows));
    return g;
}

std::string Describe(const Gauges& g) {
    char text[160];
    std::snprintf(text, sizeof(text),
                  "handles %ld, threads %ld, committed %lld KB, event records %ld, windows %ld", g.handles,
                  g.threads, g.committedKb, g.eventRecords, g.eventWindows);
    return text;
}

uint64_t SeedFrom(const char* variable, const char* what) {
    const char* text = std::getenv(variable);
    uint64_t seed = text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 0)
                                                     : static_cast<uint64_t>(GetTickCount64()) * 2654435761u;
    std::printf("%s: seed %llu (repeat with %s=%llu)\n", what, static_cast<unsigned long long>(seed),
                variable, static_cast<unsigned long long>(seed));
    std::fflush(stdout);
    return seed;
}

long NumberFrom(const char* variable, long fallback) {
    const char* text = std::getenv(variable);
    return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 0) : fallback;
}

} // namespace vtx::fuzz
