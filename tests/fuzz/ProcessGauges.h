#pragma once
// What a long run watches for growth in its own process. Wine answers the
// usual counters with 0, so handles are counted by probing handle values and
// threads by a Toolhelp snapshot; memory is PagefileUsage.
#include <windows.h>

#include <cstdint>
#include <string>

namespace vtx::fuzz {

struct Gauges {
    long handles = 0;
    long threads = 0;
    long long committedKb = 0;
    long eventRecords = 0; // event records still alive
    long eventWindows = 0; // this process's "EventInterfaceWindow"s
};

Gauges ReadGauges();
std::string Describe(const Gauges& g);

// The run's seed: from the environment variable when set, else from the clock.
// Printed either way, so every run can be repeated.
uint64_t SeedFrom(const char* variable, const char* what);
long NumberFrom(const char* variable, long fallback);

// splitmix64: a seed per episode and per call from one run seed.
inline uint64_t Mix(uint64_t a, uint64_t b) {
    uint64_t z = a + 0x9E3779B97F4A7C15ull * (b + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace vtx::fuzz
