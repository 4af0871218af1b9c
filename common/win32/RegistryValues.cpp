// Reading and writing typed values of an open registry key. Any thread; no state.
#include "win32/RegistryValues.h"

#include <cwchar>

namespace vtx {

std::optional<std::wstring> ReadRegistryText(HKEY key, const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD type = 0;
    DWORD bytes = sizeof(buffer);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::wstring text(buffer, wcsnlen(buffer, bytes / sizeof(wchar_t)));
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[1024];
        DWORD n = ExpandEnvironmentStringsW(text.c_str(), expanded, 1024);
        if (n == 0 || n > 1024) {
            return std::nullopt;
        }
        text = expanded;
    }
    return text;
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
    std::optional<std::wstring> text = ReadRegistryText(key, name);
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
