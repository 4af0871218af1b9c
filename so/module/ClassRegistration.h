#pragma once
// The service object's class entries under HKEY_CLASSES_ROOT (ProgID, CLSID, server
// path, threading model) and its type library, written and removed by self-registration.
#include <windows.h>

#include <string>

namespace vtx {

class CCashDrawerFactory;

// Writes the factory's class entries under HKEY_CLASSES_ROOT. False when an
// entry could not be written; a failed threading model removes them again.
bool RegisterClassEntries(const CCashDrawerFactory& factory, const std::wstring& serverPath);
// Deletes the ProgID and CLSID keys with all their subkeys. Keys that are
// already gone count as removed.
bool UnregisterClassEntries(const CCashDrawerFactory& factory);

// Registers the type library embedded in the module at modulePath. False
// when it cannot be loaded, carries another identifier or is refused.
bool RegisterTypeLibrary(const std::wstring& modulePath);

// Removes the registration that RegisterTypeLibrary made: under the
// library's own locale and platform, as read from the embedded library.
// A library that is not registered counts as removed.
bool UnregisterTypeLibrary(const std::wstring& modulePath);

} // namespace vtx
