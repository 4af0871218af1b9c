#pragma once
// Random call sequences against a reference model of the service object: the
// open/claimed/enabled/frozen state, every method's and property's result
// code and stored value, DrawerOpened and the status events. The real object
// is driven through IDispatch::Invoke with our fake Control Object recording
// events, while the virtual drawer changes state and fault modes between calls.
#include <cstdint>
#include <string>

namespace vtx::fuzz {

struct SequenceOutcome {
    long calls = 0; // calls on the service object
    double seconds = 0;
    std::string mismatch; // empty, or the seed and the shortest sequence that shows it
};

SequenceOutcome RunCallSequences(uint64_t seed, long calls);

} // namespace vtx::fuzz
