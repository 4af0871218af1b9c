// Resolving the name given to Open to a device key and its service object's ProgID.
#include "DeviceLookup.h"

#include "opos/OposConstants.h"
#include "win32/UniqueRegKey.h"

#include <cwchar>

namespace vtx::co {

namespace {

// A device key is a direct child of the class key: a path would reach elsewhere.
bool IsPlainKeyName(const std::wstring& name) {
    return !name.empty() && name.find(L'\\') == std::wstring::npos;
}

bool OpenChild(HKEY parent, const std::wstring& name, UniqueRegKey& out) {
    return IsPlainKeyName(name) &&
           RegOpenKeyExW(parent, name.c_str(), 0, KEY_QUERY_VALUE, out.put()) == ERROR_SUCCESS;
}

} // namespace

bool ReadText(HKEY key, const wchar_t* valueName, std::wstring& out) {
    // RegGetValue adds the terminating NUL a value may have been stored without.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD bytes = 0;
        LSTATUS rc = RegGetValueW(key, nullptr, valueName, RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
        if (rc != ERROR_SUCCESS) {
            return false;
        }
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        rc = RegGetValueW(key, nullptr, valueName, RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
        if (rc == ERROR_MORE_DATA) {
            continue; // changed in between
        }
        if (rc != ERROR_SUCCESS) {
            return false;
        }
        text.resize(wcsnlen(text.c_str(), text.size()));
        out = std::move(text);
        return true;
    }
    return false;
}

LookupResult FindDevice(const std::wstring& name, DeviceEntry& out) {
    UniqueRegKey classKey;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, opos::kCashDrawerClassKey, 0, KEY_QUERY_VALUE, classKey.put()) !=
        ERROR_SUCCESS) {
        return LookupResult::NoDevice;
    }
    UniqueRegKey device;
    std::wstring deviceName = name;
    if (!OpenChild(classKey.get(), deviceName, device)) {
        // A logical device name: the class key's value of that name names the device key.
        if (name.empty() || !ReadText(classKey.get(), name.c_str(), deviceName) ||
            !OpenChild(classKey.get(), deviceName, device)) {
            return LookupResult::NoDevice;
        }
    }
    std::wstring progId;
    if (!ReadText(device.get(), nullptr, progId) || progId.empty()) {
        return LookupResult::NoService;
    }
    out = {deviceName, progId};
    return LookupResult::Found;
}

} // namespace vtx::co
