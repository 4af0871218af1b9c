// Reading the device key's "LDN" count and stepping it as a logical device name is added or deleted.
#include "logic/LdnCount.h"

#include "logic/RegistryLayout.h"
#include "logic/TextRules.h"

#include <string>

namespace vtx::setup {

std::int32_t ReadLdnCount(SetupRegistry& registry, const BuildProfile& build, const wchar_t* missing) {
    RegValue stored = registry.Read(DeviceKey(build), L"LDN", kTypeText, std::wstring(missing));
    const auto* text = std::get_if<std::wstring>(&stored);
    return LeadingNumber(text != nullptr ? *text : std::wstring());
}

std::int32_t StepLdnCount(SetupRegistry& registry, const BuildProfile& build, int delta) {
    const std::int32_t count = AddClamped(ReadLdnCount(registry, build, L"100000"), delta);
    registry.Write(DeviceKey(build), L"LDN", kTypeText, std::to_wstring(count));
    return count;
}

} // namespace vtx::setup
