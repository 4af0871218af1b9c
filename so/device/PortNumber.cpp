// A stored port name to its number: every "COM" dropped, then the rest read as the
// C library reads a long, saturated instead of overflowing.
#include "device/PortNumber.h"

#include <climits>
#include <cwctype>

namespace vtx {

long ParsePortNumber(std::wstring name) {
    for (wchar_t& c : name) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    // One pass, as a find-and-replace would do it.
    std::wstring rest;
    rest.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        if (name.compare(i, 3, L"COM") == 0) {
            i += 3;
        } else {
            rest += name[i++];
        }
    }

    // The C library's rules: blanks, a sign, decimal digits. Saturate instead
    // of overflowing, so a huge number is refused as out of range.
    size_t i = 0;
    while (i < rest.size() && std::iswspace(rest[i])) {
        ++i;
    }
    bool negative = false;
    if (i < rest.size() && (rest[i] == L'+' || rest[i] == L'-')) {
        negative = rest[i] == L'-';
        ++i;
    }
    long long value = 0;
    for (; i < rest.size() && rest[i] >= L'0' && rest[i] <= L'9'; ++i) {
        value = value * 10 + (rest[i] - L'0');
        if (value > LONG_MAX) {
            value = LONG_MAX;
        }
    }
    return static_cast<long>(negative ? -value : value);
}

} // namespace vtx
