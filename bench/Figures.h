#pragma once
// How the benchmarks time a step and print a series of samples.
#include "Elapsed.h" // tests/support: every benchmark links the test support

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vtx::bench {

using test::Clock;
using test::MsSince;

// n, min / median / max of the samples in ms.
inline std::string Summary(std::vector<double> ms) {
    if (ms.empty()) {
        return "no samples";
    }
    std::sort(ms.begin(), ms.end());
    char text[96];
    std::snprintf(text, sizeof(text), "n=%3zu  min %8.2f  median %8.2f  max %8.2f ms", ms.size(), ms.front(),
                  ms[ms.size() / 2], ms.back());
    return text;
}

// One line: the label, then the samples' summary.
inline void Report(const char* what, std::vector<double> ms) {
    std::printf("%-52s %s\n", what, Summary(std::move(ms)).c_str());
    std::fflush(stdout);
}

} // namespace vtx::bench
