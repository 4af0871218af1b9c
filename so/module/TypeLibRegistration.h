#pragma once
// Registration of the type library the service object's DLL carries as TYPELIB 1.
#include <windows.h>

#include <string>

namespace vtx {

// Registers the type library embedded in the module at modulePath. False
// when it cannot be loaded, carries another identifier or is refused.
bool RegisterTypeLibrary(const std::wstring& modulePath);

// Removes the registration that RegisterTypeLibrary made: under the
// library's own locale and platform, as read from the embedded library.
// A library that is not registered counts as removed.
bool UnregisterTypeLibrary(const std::wstring& modulePath);

} // namespace vtx
