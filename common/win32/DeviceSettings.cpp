// Reading a device's values with the machine's policy first. Any thread; each object is one thread's.
#include "win32/DeviceSettings.h"

#include "win32/RegistryValues.h"

#include <cwchar>

namespace vtx {

bool IsPolicyValue(const wchar_t* name) {
    for (const wchar_t* policy : kPolicyValueNames) {
        if (_wcsicmp(policy, name) == 0) {
            return true;
        }
    }
    return false;
}

UniqueRegKey OpenPolicyKey() {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPolicyKeyPath, 0, KEY_READ | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

CDeviceSettings::CDeviceSettings(HKEY deviceKey) : m_device(deviceKey), m_policy(OpenPolicyKey()) {}

bool CDeviceSettings::FromPolicy(const wchar_t* name) const {
    // Present at all, whatever its size: ERROR_MORE_DATA cannot come back for a null buffer.
    return m_policy && IsPolicyValue(name) &&
           RegQueryValueExW(m_policy.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

HKEY CDeviceSettings::SourceOf(const wchar_t* name) const {
    return FromPolicy(name) ? m_policy.get() : m_device;
}

std::optional<uint64_t> CDeviceSettings::Number(const wchar_t* name) const {
    return ReadRegistryNumber(SourceOf(name), name);
}

std::optional<std::wstring> CDeviceSettings::Text(const wchar_t* name) const {
    return ReadRegistryText(SourceOf(name), name, kDeviceTextMaxChars);
}

} // namespace vtx
