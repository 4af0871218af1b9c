#pragma once
// How the benchmarks time a step and print a series of samples.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace vtx::bench {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// One line: the label, then min / median / max of the samples in ms.
inline void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
        std::printf("%-52s no samples\n", what);
        return;
    }
    std::printf("%-52s n=%3zu  min %8.2f  median %8.2f  max %8.2f ms\n", what, ms.size(), ms.front(),
                ms[ms.size() / 2], ms.back());
    std::fflush(stdout);
}

} // namespace vtx::bench
