#pragma once
// The setup registry over the real registry, with the copy to the other view.
#include "logic/SetupRegistry.h"

#include <windows.h>

namespace vtx::setup {

// The other registry view on 64-bit Windows (KEY_WOW64_32KEY for a 64-bit
// program, KEY_WOW64_64KEY for a 32-bit one); 0 on 32-bit Windows.
REGSAM OtherRegistryView();

// The registry module over HKEY_LOCAL_MACHINE. Reads come from the program's
// own view; every change is copied to `mirrorView` as well (0: no copy), so
// that 32- and 64-bit applications see the same configuration.
class Win32SetupRegistry final : public SetupRegistry {
public:
    explicit Win32SetupRegistry(REGSAM mirrorView = OtherRegistryView()) : m_mirrorView(mirrorView) {}

    bool OpenFullAccess(const std::wstring& path) override;
    std::wstring ReadPort(const std::wstring& devicePath) override;
    RegValue Read(const std::wstring& path, const std::wstring& name, short type,
                  const RegValue& fallback) override;
    void Write(const std::wstring& path, const std::wstring& name, short type,
               const RegValue& value) override;
    std::optional<ValueTable> List(const std::wstring& path) override;
    std::optional<ValueTable> ListPolicy() override;
    void WriteName(const std::wstring& path, const std::wstring& name, const std::wstring& data,
                   std::wstring_view device) override;
    void DeleteName(const std::wstring& path, const std::wstring& name, std::wstring_view device) override;
    bool TakeMirrorFailure() override;

private:
    enum class MirroredName { Missing, Same, Other };
    MirroredName InMirror(const std::wstring& path, const std::wstring& name, std::wstring_view device) const;

    REGSAM m_mirrorView;
    bool m_mirrorFailed = false;
};

} // namespace vtx::setup
