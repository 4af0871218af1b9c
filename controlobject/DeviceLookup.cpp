// Resolving the name given to Open to a device key and its service object's ProgID.
#include "DeviceLookup.h"

#include "opos/OposConstants.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

#include <optional>
#include <utility>

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
    std::optional<std::wstring> text = ReadRegistryText(key, valueName, kRegistryTextUnlimited);
    if (!text) {
        return false;
    }
    out = std::move(*text);
    return true;
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
