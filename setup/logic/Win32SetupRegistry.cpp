#include "logic/Win32SetupRegistry.h"

#include "registry/AnsiText.h"
#include "registry/RegistryApi.h"
#include "win32/UniqueRegKey.h"

namespace vtx::setup {

namespace {
constexpr DWORD kPortBuffer = 128;

UniqueRegKey OpenFull(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ToAnsi(path).c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return {};
    }
    return UniqueRegKey(key);
}
} // namespace

bool Win32SetupRegistry::OpenFullAccess(const std::wstring& path) {
    return static_cast<bool>(OpenFull(path));
}

std::wstring Win32SetupRegistry::ReadPort(const std::wstring& devicePath) {
    return ReadRegistryText(HKEY_LOCAL_MACHINE, devicePath, L"Port", kPortBuffer).value_or(std::wstring());
}

RegValue Win32SetupRegistry::Read(const std::wstring& path, const std::wstring& name, short type,
                                  const RegValue& fallback) {
    return ReadRegistryValue(HKEY_LOCAL_MACHINE, path, name, type, fallback);
}

void Win32SetupRegistry::Write(const std::wstring& path, const std::wstring& name, short type,
                               const RegValue& value) {
    WriteRegistryValue(HKEY_LOCAL_MACHINE, path, name, type, value);
}

std::optional<ValueTable> Win32SetupRegistry::List(const std::wstring& path) {
    return ListRegistryValues(HKEY_LOCAL_MACHINE, path);
}

void Win32SetupRegistry::DeleteValue(const std::wstring& path, const std::wstring& name) {
    if (UniqueRegKey key = OpenFull(path)) {
        RegDeleteValueA(key.get(), ToAnsi(name).c_str());
    }
}

} // namespace vtx::setup
