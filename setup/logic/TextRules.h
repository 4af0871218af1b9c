#pragma once
// The utility's rules for text the user types and the counts it stores as text.
#include <cstdint>
#include <string>
#include <string_view>

namespace vtx::setup {

// Trims space characters at both ends; tabs and other blanks stay.
std::wstring TrimSpaces(std::wstring_view text);

// The leading decimal number of a count: leading blanks skipped, an optional
// sign, then digits; text without one counts as 0. Kept within 32 bits.
std::int32_t LeadingNumber(std::wstring_view text);

// count + delta, kept within 32 bits.
std::int32_t AddClamped(std::int32_t count, int delta);

} // namespace vtx::setup
