// The setup registry over the real registry, with the copy to the other view.
#include "adapters/Win32SetupRegistry.h"

#include "registry/AnsiText.h"
#include "registry/RegistryApi.h"
#include "win32/DeviceSettings.h"
#include "win32/UniqueRegKey.h"

#include <utility>

namespace vtx::setup {

namespace {
constexpr DWORD kPortBuffer = 128;

UniqueRegKey OpenFull(const std::wstring& path, REGSAM view = 0) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ToAnsi(path).c_str(), 0, KEY_ALL_ACCESS | view, &key) !=
        ERROR_SUCCESS) {
        return {};
    }
    return UniqueRegKey(key);
}
} // namespace

REGSAM OtherRegistryView() {
    if constexpr (sizeof(void*) == 8) {
        return KEY_WOW64_32KEY;
    }
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
}

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
    // The own view's write stands whatever happens to the copy.
    if (m_mirrorView != 0 && !WriteRegistryValue(HKEY_LOCAL_MACHINE, path, name, type, value, m_mirrorView)) {
        m_mirrorFailed = true;
    }
}

std::optional<ValueTable> Win32SetupRegistry::List(const std::wstring& path) {
    return ListRegistryValues(HKEY_LOCAL_MACHINE, path);
}

std::optional<ValueTable> Win32SetupRegistry::ListPolicy() {
    const UniqueRegKey policy = OpenPolicyKey();
    return policy ? ListRegistryValues(policy.get(), L"") : std::nullopt;
}

Win32SetupRegistry::MirroredName Win32SetupRegistry::InMirror(const std::wstring& path,
                                                              const std::wstring& name,
                                                              std::wstring_view device) const {
    UniqueRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ToAnsi(path).c_str(), 0, KEY_QUERY_VALUE | m_mirrorView,
                      key.put()) != ERROR_SUCCESS) {
        return MirroredName::Missing;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    const LSTATUS rc = RegQueryValueExA(key.get(), ToAnsi(name).c_str(), nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        return MirroredName::Missing;
    }
    // Whatever cannot be read as text is somebody else's.
    const auto text = rc == ERROR_SUCCESS && type == REG_SZ
                          ? ReadRegistryText(HKEY_LOCAL_MACHINE, path, name, size + 1, m_mirrorView)
                          : std::nullopt;
    return text && *text == device ? MirroredName::Same : MirroredName::Other;
}

void Win32SetupRegistry::WriteName(const std::wstring& path, const std::wstring& name,
                                   const std::wstring& data, std::wstring_view device) {
    WriteRegistryValue(HKEY_LOCAL_MACHINE, path, name, kTypeText, data);
    if (m_mirrorView != 0 &&
        (InMirror(path, name, device) == MirroredName::Other ||
         !WriteRegistryValue(HKEY_LOCAL_MACHINE, path, name, kTypeText, data, m_mirrorView))) {
        m_mirrorFailed = true;
    }
}

void Win32SetupRegistry::DeleteName(const std::wstring& path, const std::wstring& name,
                                    std::wstring_view device) {
    if (UniqueRegKey key = OpenFull(path)) {
        RegDeleteValueA(key.get(), ToAnsi(name).c_str());
    }
    // A name the other view never had, or has for another device, is as good
    // as deleted there.
    if (m_mirrorView == 0 || InMirror(path, name, device) != MirroredName::Same) {
        return;
    }
    UniqueRegKey mirror = OpenFull(path, m_mirrorView);
    const LSTATUS rc = mirror ? RegDeleteValueA(mirror.get(), ToAnsi(name).c_str()) : ERROR_ACCESS_DENIED;
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
        m_mirrorFailed = true;
    }
}

bool Win32SetupRegistry::TakeMirrorFailure() {
    return std::exchange(m_mirrorFailed, false);
}

} // namespace vtx::setup
