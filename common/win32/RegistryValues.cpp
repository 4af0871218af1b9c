// Reading and writing typed values of an open registry key. Any thread; no state.
#include "win32/RegistryValues.h"

#include <algorithm>
#include <cwchar>

namespace vtx {

namespace {

bool Accepts(RegistryTextTypes types, DWORD type) {
    return type == REG_SZ || (type == REG_EXPAND_SZ && types != RegistryTextTypes::Plain);
}

bool Fits(size_t chars, size_t maxChars) {
    return maxChars == kRegistryTextUnlimited || chars <= maxChars;
}

// Room for maxChars characters and a NUL, as the stored data may hold its NUL or not.
bool StoredFits(DWORD bytes, size_t maxChars) {
    return maxChars == kRegistryTextUnlimited || bytes <= (maxChars + 1) * sizeof(wchar_t);
}

std::optional<std::wstring> Expand(const std::wstring& text, size_t maxChars) {
    std::wstring expanded(text.size() + 1, L'\0');
    for (;;) {
        const DWORD room = static_cast<DWORD>(std::min<size_t>(expanded.size(), MAXDWORD));
        const DWORD n = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), room);
        if (n == 0 || !Fits(n - 1, maxChars)) {
            return std::nullopt;
        }
        if (n <= room) {
            expanded.resize(n - 1);
            return expanded;
        }
        expanded.resize(n);
    }
}

} // namespace

std::optional<std::wstring> ReadRegistryText(HKEY key, const wchar_t* name, size_t maxChars,
                                             RegistryTextTypes types) {
    // The size is asked first; a value that grows before it is read is asked again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = REG_NONE;
        DWORD bytes = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
            !Accepts(types, type) || !StoredFits(bytes, maxChars)) {
            return std::nullopt;
        }
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS rc =
            RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes);
        if (rc == ERROR_MORE_DATA) {
            continue;
        }
        if (rc != ERROR_SUCCESS || !Accepts(types, type) || !StoredFits(bytes, maxChars)) {
            return std::nullopt;
        }
        text.resize(wcsnlen(text.c_str(), bytes / sizeof(wchar_t)));
        if (type == REG_EXPAND_SZ && types == RegistryTextTypes::Expanded) {
            return Expand(text, maxChars);
        }
        return text;
    }
    return std::nullopt;
}

std::optional<uint64_t> ReadRegistryNumber(HKEY key, const wchar_t* name) {
    DWORD value = 0;
    DWORD type = 0;
    DWORD bytes = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && bytes == sizeof(value)) {
        return value;
    }
    std::optional<std::wstring> text = ReadRegistryText(key, name, kDeviceTextMaxChars);
    if (!text) {
        return std::nullopt;
    }
    uint64_t number = 0;
    size_t digits = 0;
    for (wchar_t c : *text) {
        if (c == L' ' && digits == 0) {
            continue;
        }
        if (c < L'0' || c > L'9') {
            break;
        }
        number = number > kRegistryNumberLimit ? number : number * 10 + static_cast<uint64_t>(c - L'0');
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return number;
}

bool WriteRegistryText(HKEY key, const wchar_t* name, const std::wstring& text) {
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

} // namespace vtx
