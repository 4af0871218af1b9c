#pragma once
// The device key's "LDN" value: how many logical device names point at the
// device, kept as decimal text.
#include "BuildConstants.h"
#include "logic/SetupRegistry.h"

#include <cstdint>

namespace vtx::setup {

// The stored count; `missing` stands in for a count that is not there, and
// text without a leading number counts as 0.
std::int32_t ReadLdnCount(SetupRegistry& registry, const BuildProfile& build, const wchar_t* missing);

// Adds `delta` to the stored count (a missing one reads as 100000), stores
// the result and returns it.
std::int32_t StepLdnCount(SetupRegistry& registry, const BuildProfile& build, int delta);

} // namespace vtx::setup
