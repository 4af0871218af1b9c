// Long runs of the generators: the dispatch fuzzer on the service object and
// on our Control Object, and random call sequences against the reference
// model. Prints calls per second, faults and mismatches, and what the process
// held after warm-up and at the end.
// Usage: bench_generators [FUZZ_CALLS [SEQUENCE_CALLS]]   (seeds: VTX_FUZZ_SEED, VTX_FUZZ_CO_SEED,
// VTX_SEQ_SEED)
#include "CallSequences.h"
#include "DispatchFuzz.h"

#include <winsock2.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

using namespace vtx::fuzz;

namespace {

void Fuzz(Target target, const char* label, const char* seedVariable, long calls) {
    FuzzOptions options;
    options.target = target;
    options.seed = SeedFrom(seedVariable, label);
    options.invocations = calls;
    options.episodeLength = 1000;
    FuzzOutcome o = RunDispatchFuzz(options);
    std::printf("%-52s %8ld calls in %8.1f s  %8.0f calls/s\n", label, o.invocations, o.seconds,
                o.invocations / (o.seconds > 0 ? o.seconds : 1));
    std::printf("%-52s %zu\n", "  faults (crash, hang, unexpected HRESULT, unusable)", o.faults.size());
    std::printf("%-52s %ld -> %ld\n", "  handles after warm-up -> end", o.warm.handles, o.end.handles);
    std::printf("%-52s %ld -> %ld\n", "  threads after warm-up -> end", o.warm.threads, o.end.threads);
    std::printf("%-52s %lld -> %lld\n", "  committed KB after warm-up -> end", o.warm.committedKb,
                o.end.committedKb);
    std::printf("%-52s %ld\n", "  event records still alive", o.end.eventRecords);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    long fuzzCalls = argc > 1 ? std::atol(argv[1]) : 1000000;
    long sequenceCalls = argc > 2 ? std::atol(argv[2]) : 10000;
    if (fuzzCalls < 0 || sequenceCalls < 0) {
        std::fprintf(stderr, "usage: bench_generators [FUZZ_CALLS [SEQUENCE_CALLS]]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    int rc = 0;
    try {
        if (sequenceCalls > 0) {
            SequenceOutcome s = RunCallSequences(SeedFrom("VTX_SEQ_SEED", "call sequences"), sequenceCalls);
            std::printf("%-52s %8ld calls in %8.1f s  %8.1f calls/s\n", "call sequences against the model",
                        s.calls, s.seconds, s.calls / (s.seconds > 0 ? s.seconds : 1));
            std::printf("%-52s %d\n", "  mismatches", s.mismatch.empty() ? 0 : 1);
            if (!s.mismatch.empty()) {
                std::printf("%s\n", s.mismatch.c_str());
            }
        }
        if (fuzzCalls > 0) {
            Fuzz(Target::ServiceObject, "dispatch fuzz, service object", "VTX_FUZZ_SEED", fuzzCalls);
            Fuzz(Target::ControlObject, "dispatch fuzz, Control Object", "VTX_FUZZ_CO_SEED", fuzzCalls);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_generators: %s\n", e.what());
        rc = 1;
    }
    WSACleanup();
    CoUninitialize();
    return rc;
}
