#pragma once
// The utility's registry module: read, write and list values through the
// ANSI registry calls. Key paths and names are given as wide text and pass
// through the ANSI code page on their way in and out.
#include "registry/RegValue.h"

#include <windows.h>

#include <optional>
#include <string_view>

namespace vtx::setup {

// The stored value of root\subKey (the root itself when subKey is empty), or
// the fallback when the key, the value or the room for it is missing. Raises
// RegistryError for a type code other than text, binary and 32-bit integer
// (only when the key could be opened).
RegValue ReadRegistryValue(HKEY root, std::wstring_view subKey, std::wstring_view name, short type,
                           const RegValue& fallback);

// Writes by the type code; any failure leaves the registry as it was and
// answers false. Text is stored without a terminating NUL. `view` is 0 (the
// program's own registry view), KEY_WOW64_32KEY or KEY_WOW64_64KEY.
bool WriteRegistryValue(HKEY root, std::wstring_view subKey, std::wstring_view name, short type,
                        const RegValue& value, REGSAM view = 0);

// Every value of the key in enumeration order, one row each, in a table of at
// least 101 rows that grows by 100 at a time; no table when the key cannot be
// opened. A value that does not fit the buffers ends the listing.
std::optional<ValueTable> ListRegistryValues(HKEY root, std::wstring_view subKey);

// A REG_SZ or REG_EXPAND_SZ value as stored, up to its first NUL, when it fits
// `capacity` characters with its NUL. `view` as for writes.
std::optional<std::wstring> ReadRegistryText(HKEY root, std::wstring_view subKey, std::wstring_view name,
                                             DWORD capacity, REGSAM view = 0);

} // namespace vtx::setup
