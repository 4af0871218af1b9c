#pragma once
// Self-registration of a COM server under HKEY_CLASSES_ROOT: its keys written from the table the
// server states, removed as whole trees, and its embedded type library. No state; regsvr32 or an
// installer calls it through DllRegisterServer and DllUnregisterServer, on any thread.
#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <vector>

namespace vtx {

struct ClassesEntry {
    std::wstring path;         // below HKEY_CLASSES_ROOT
    const wchar_t* name;       // nullptr: the key's default value
    std::wstring data;         // stored as REG_SZ, its NUL included
    bool keepExisting = false; // a key that is already there is left exactly as it is
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; empty when it cannot be formatted.
std::wstring GuidText(REFGUID guid);

// Writes the entries in order, creating their keys. False at the first that fails; what was
// written before it stays.
bool WriteClassesEntries(const std::vector<ClassesEntry>& entries);

// Deletes each key with all its subkeys. Every deletion is attempted; a key that is already gone
// counts as removed.
bool DeleteClassesTrees(const std::vector<std::wstring>& paths);

// What registration files a type library under, besides its version.
struct TypeLibKey {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
};

// The key of the library the module at modulePath carries as TYPELIB 1; nullopt when it cannot
// be loaded.
std::optional<TypeLibKey> EmbeddedTypeLibKey(const std::wstring& modulePath);

// Registers the library the module at modulePath carries. With expectedLibId, a library with
// another identifier is refused.
bool RegisterEmbeddedTypeLib(const std::wstring& modulePath, const GUID* expectedLibId);

// Removes the registration TypeLib\{libid}\<major>.<minor>\<lcid>\<platform>; one that was never
// made counts as removed (UnRegisterTypeLib fails then).
bool RemoveTypeLibRegistration(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);

} // namespace vtx
