#pragma once
// The service object's class entries under HKEY_CLASSES_ROOT (ProgID, CLSID, server
// path, threading model), written and removed by self-registration.
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

} // namespace vtx
