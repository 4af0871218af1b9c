#pragma once
// Milliseconds since a moment on the steady clock: one definition for the tests and, through bench/Figures.h,
// the benchmarks, so a test's limit and a benchmark's figure are read alike.
#include <chrono>

namespace vtx::test {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

} // namespace vtx::test
