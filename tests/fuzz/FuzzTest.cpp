// Bounded runs of the generators. Each prints its seed; set the variable it
// names to repeat a run exactly.
#include "CallSequences.h"
#include "DispatchFuzz.h"

#include <gtest/gtest.h>

namespace vtx::fuzz {
namespace {

void ExpectNoGrowth(const Gauges& warm, const Gauges& end) {
    // After the first episode everything the run creates is given back.
    EXPECT_LE(end.handles - warm.handles, 8) << Describe(warm) << " -> " << Describe(end);
    EXPECT_LE(end.threads - warm.threads, 1) << Describe(warm) << " -> " << Describe(end);
    EXPECT_LE(end.committedKb - warm.committedKb, 4096) << Describe(warm) << " -> " << Describe(end);
    EXPECT_EQ(end.eventRecords, 0);
}

void Fuzz(Target target, const char* seedVariable) {
    FuzzOptions options;
    options.target = target;
    options.seed = SeedFrom(seedVariable,
                            target == Target::ServiceObject ? "service object fuzz" : "control object fuzz");
    options.invocations = NumberFrom("VTX_FUZZ_CALLS", 5000);
    FuzzOutcome outcome = RunDispatchFuzz(options);
    std::printf("%ld calls in %.1f s; %s -> %s\n", outcome.invocations, outcome.seconds,
                Describe(outcome.warm).c_str(), Describe(outcome.end).c_str());
    for (const std::string& fault : outcome.faults) {
        ADD_FAILURE() << fault;
    }
    ExpectNoGrowth(outcome.warm, outcome.end);
}

TEST(DispatchFuzz, ServiceObjectAnswersAnyCallAsAutomationExpectsAndStaysUsable) {
    Fuzz(Target::ServiceObject, "VTX_FUZZ_SEED");
}

TEST(DispatchFuzz, ControlObjectAnswersAnyCallAsAutomationExpectsAndStaysUsable) {
    Fuzz(Target::ControlObject, "VTX_FUZZ_CO_SEED");
}

TEST(CallSequences, ServiceObjectAnswersRandomSequencesAsTheModelSays) {
    uint64_t seed = SeedFrom("VTX_SEQ_SEED", "call sequences");
    SequenceOutcome outcome = RunCallSequences(seed, NumberFrom("VTX_SEQ_CALLS", 1500));
    std::printf("%ld calls in %.1f s\n", outcome.calls, outcome.seconds);
    EXPECT_EQ(outcome.mismatch, "");
}

} // namespace
} // namespace vtx::fuzz
