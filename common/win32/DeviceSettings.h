#pragma once
// A device's settings as the service object reads them: a value set by Group Policy for the whole
// machine wins over the same value in the device's own key.
#include "win32/UniqueRegKey.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace vtx {

// HKLM\<kPolicyKeyPath>, always read through the 64-bit view, so that 32- and 64-bit applications
// follow the one policy (on 32-bit Windows there is only that view).
inline constexpr wchar_t kPolicyKeyPath[] = L"SOFTWARE\\Policies\\Veltrix Works\\VTXCashDrawer";

// The device values a policy may set, each with the name and type the device key uses for it.
// installer/policy/VTXCashDrawer.admx offers exactly these; scripts/check-policy.sh reads this list
// (every quoted name between the braces).
inline constexpr const wchar_t* kPolicyValueNames[] = {
    L"AutoReconnect", L"EventLog", L"PollInterval", L"TraceFile", L"TraceLevel", L"TraceMaxKB",
};

bool IsPolicyValue(const wchar_t* name);

// The policy key opened for reading; empty when no policy is set.
UniqueRegKey OpenPolicyKey();

// Every read of a device value goes through one of these. A value the policy key holds is taken
// from there whatever its content, so an unusable policy value gives the default, as an unusable
// device value does, rather than the device's own; names not in kPolicyValueNames ("Port") are read
// from the device key only.
class CDeviceSettings {
public:
    // The device key stays the caller's and must stay open while this object is used.
    explicit CDeviceSettings(HKEY deviceKey);

    // As ReadRegistryNumber and ReadRegistryText, from wherever the value comes from.
    std::optional<uint64_t> Number(const wchar_t* name) const;
    std::optional<std::wstring> Text(const wchar_t* name) const;
    bool FromPolicy(const wchar_t* name) const;

private:
    HKEY SourceOf(const wchar_t* name) const;

    HKEY m_device;
    UniqueRegKey m_policy;
};

} // namespace vtx
