// A loaded module's full path, and the 8.3 form of a path (both through the wide Win32 calls).
#include "win32/ModulePath.h"

namespace vtx {

std::wstring ModuleFileName(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD got = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (got == 0) {
            return {};
        }
        // A full buffer may mean a truncated path.
        if (got < path.size()) {
            path.resize(got);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ShortPathOf(const std::wstring& path) {
    DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (needed == 0) {
        return path;
    }
    std::wstring shortPath(needed, L'\0');
    DWORD got = GetShortPathNameW(path.c_str(), shortPath.data(), needed);
    if (got == 0 || got >= needed) {
        return path;
    }
    shortPath.resize(got);
    return shortPath;
}

} // namespace vtx
