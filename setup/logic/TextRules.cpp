// Trimming typed text, and reading and stepping counts within 32 bits.
#include "logic/TextRules.h"

#include <limits>

namespace vtx::setup {

namespace {
std::int32_t Clamp(std::int64_t v) {
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v < lo ? lo : (v > hi ? hi : v));
}
} // namespace

std::wstring TrimSpaces(std::wstring_view text) {
    size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(L' ');
    return std::wstring(text.substr(first, last - first + 1));
}

std::int32_t LeadingNumber(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > std::int64_t{1} << 32) {
            break; // far past the 32-bit range already
        }
    }
    return Clamp(negative ? -value : value);
}

std::int32_t AddClamped(std::int32_t count, int delta) {
    return Clamp(std::int64_t{count} + delta);
}

} // namespace vtx::setup
