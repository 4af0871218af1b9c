#pragma once
// Finding a cash drawer device in the registry by the name given to Open. No state;
// the Control Object calls it from Open, and drawertest uses it too.
#include <windows.h>

#include <string>

namespace vtx::co {

struct DeviceEntry {
    std::wstring deviceKey; // the device key's own name
    std::wstring progId;    // its default value: the service object's ProgID
};

enum class LookupResult { Found, NoDevice, NoService };

// Resolves the name given to Open: a device key of that name, or a logical
// device name (a value of the class key whose text names a device key).
// NoService when the device key names no ProgID.
LookupResult FindDevice(const std::wstring& name, DeviceEntry& out);

// A text value of a key; false when it is missing or not text.
bool ReadText(HKEY key, const wchar_t* valueName, std::wstring& out);

} // namespace vtx::co
