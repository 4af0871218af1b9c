#pragma once
// What the windows need of the registry, all under HKEY_LOCAL_MACHINE. The
// program uses Win32SetupRegistry; tests use a fake with refusable rights.
#include "registry/RegValue.h"

#include <optional>
#include <string>
#include <string_view>

namespace vtx::setup {

class SetupRegistry {
public:
    virtual ~SetupRegistry() = default;
    // Opens the key with full access and closes it again: the rights test.
    virtual bool OpenFullAccess(const std::wstring& path) = 0;
    // The device's port name; empty when the key or the value is missing.
    virtual std::wstring ReadPort(const std::wstring& devicePath) = 0;
    virtual RegValue Read(const std::wstring& path, const std::wstring& name, short type,
                          const RegValue& fallback) = 0;
    virtual void Write(const std::wstring& path, const std::wstring& name, short type,
                       const RegValue& value) = 0;
    virtual std::optional<ValueTable> List(const std::wstring& path) = 0;
    // The values of the machine's policy key for the service object (HKLM\kPolicyKeyPath, 64-bit
    // view), as List gives them; none when no policy is set.
    virtual std::optional<ValueTable> ListPolicy() = 0;
    // A logical device name: a text value of the class key `path` naming a
    // device key. In the other registry view a name is changed or deleted
    // only while it names `device` there as well (a write also adds a name
    // missing there): another vendor's device keeps its names. A write kept
    // out so counts as a change that missed the other view.
    virtual void WriteName(const std::wstring& path, const std::wstring& name, const std::wstring& data,
                           std::wstring_view device) = 0;
    virtual void DeleteName(const std::wstring& path, const std::wstring& name, std::wstring_view device) = 0;
    // Whether a change since the last call reached this program's registry
    // view but not the other one (64-bit Windows keeps two); clears the flag.
    virtual bool TakeMirrorFailure() = 0;
};

} // namespace vtx::setup
