#pragma once
#include "logic/SetupRegistry.h"

namespace vtx::setup {

// The registry module over HKEY_LOCAL_MACHINE.
class Win32SetupRegistry final : public SetupRegistry {
public:
    bool OpenFullAccess(const std::wstring& path) override;
    std::wstring ReadPort(const std::wstring& devicePath) override;
    RegValue Read(const std::wstring& path, const std::wstring& name, short type,
                  const RegValue& fallback) override;
    void Write(const std::wstring& path, const std::wstring& name, short type,
               const RegValue& value) override;
    std::optional<ValueTable> List(const std::wstring& path) override;
    void DeleteValue(const std::wstring& path, const std::wstring& name) override;
};

} // namespace vtx::setup
