#pragma once
// Reading typed values from an open registry key, as the device keys hold
// them: text that may lack its NUL, numbers as REG_DWORD or as decimal text;
// and writing text values.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace vtx {

// REG_SZ, or REG_EXPAND_SZ with its variables expanded; at most 1023 characters.
std::optional<std::wstring> ReadRegistryText(HKEY key, const wchar_t* name);

// A REG_DWORD, or a REG_SZ holding a decimal number (leading blanks allowed,
// anything after the digits ignored); saturates at kRegistryNumberLimit.
std::optional<uint64_t> ReadRegistryNumber(HKEY key, const wchar_t* name);

inline constexpr uint64_t kRegistryNumberLimit = 1ull << 40;

// Stores text as REG_SZ, its terminating NUL included; name nullptr is the
// key's default value. False when the key refuses it.
bool WriteRegistryText(HKEY key, const wchar_t* name, const std::wstring& text);

} // namespace vtx
