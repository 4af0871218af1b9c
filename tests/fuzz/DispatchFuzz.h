#pragma once
// Fuzzes IDispatch of the service object or of our Control Object: random and
// boundary DISPIDs, flags, argument counts and VARIANTs (by-reference, null,
// missing, huge text, named), null DISPPARAMS/result/puArgErr/EXCEPINFO, in
// every object state. Runs on the calling thread (an STA with a message loop).
#include "ProcessGauges.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vtx::fuzz {

enum class Target { ServiceObject, ControlObject };

struct FuzzOptions {
    Target target = Target::ServiceObject;
    uint64_t seed = 1;
    long invocations = 1000;
    long episodeLength = 64; // calls on one object before a fresh one
};

struct FuzzOutcome {
    long invocations = 0;
    double seconds = 0;
    Gauges warm, end; // after the first episode, and at the end
    // Each: the seed, the episode and the shortest call sequence that shows it.
    std::vector<std::string> faults;
};

FuzzOutcome RunDispatchFuzz(const FuzzOptions& options);

} // namespace vtx::fuzz
