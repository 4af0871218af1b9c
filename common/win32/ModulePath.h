#pragma once
// Paths of loaded modules, for self-registration and for loading a module's own type library.
#include <windows.h>

#include <string>

namespace vtx {

// Full path of a loaded module; empty when the system cannot tell it.
std::wstring ModuleFileName(HMODULE module);
// The 8.3 form of a path, or the path itself when the file system has none.
std::wstring ShortPathOf(const std::wstring& path);

} // namespace vtx
