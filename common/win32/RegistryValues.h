#pragma once
// Reading typed values from an open registry key, as the device keys hold
// them: text that may lack its NUL, numbers as REG_DWORD or as decimal text;
// and writing text values.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace vtx {

// Which stored types a text read accepts.
enum class RegistryTextTypes {
    Plain,    // REG_SZ only
    Expanded, // REG_SZ, or REG_EXPAND_SZ with its variables expanded
    AsStored, // REG_SZ or REG_EXPAND_SZ, variables left as they are
};

// maxChars for a caller that sets no limit.
inline constexpr size_t kRegistryTextUnlimited = static_cast<size_t>(-1);

// The one reader of registry text. The text ends at the first NUL or at the end of the stored data,
// so a value stored without its NUL reads whole. Missing, of another type, or too long: nullopt.
// Too long is stored data larger than maxChars characters and a NUL, or an expansion longer than
// maxChars characters.
std::optional<std::wstring> ReadRegistryText(HKEY key, const wchar_t* name, size_t maxChars,
                                             RegistryTextTypes types = RegistryTextTypes::Expanded);

// The limit of the device values read through ReadRegistryNumber and CDeviceSettings.
inline constexpr size_t kDeviceTextMaxChars = 1023;

// A REG_DWORD, or a REG_SZ holding a decimal number (leading blanks allowed,
// anything after the digits ignored); saturates at kRegistryNumberLimit.
std::optional<uint64_t> ReadRegistryNumber(HKEY key, const wchar_t* name);

inline constexpr uint64_t kRegistryNumberLimit = 1ull << 40;

// Stores text as REG_SZ, its terminating NUL included; name nullptr is the
// key's default value. False when the key refuses it.
bool WriteRegistryText(HKEY key, const wchar_t* name, const std::wstring& text);

} // namespace vtx
