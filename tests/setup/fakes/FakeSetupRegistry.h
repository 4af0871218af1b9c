#pragma once
// An in-memory HKEY_LOCAL_MACHINE for the window logic: keys hold values in
// insertion order, and full access to any key can be refused as it is to a
// user without administrator rights.
#include "logic/SetupRegistry.h"
#include "win32/DeviceSettings.h"

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vtx::setup::test {

class FakeSetupRegistry final : public SetupRegistry {
public:
    void AddKey(const std::wstring& path) { m_keys[path]; }
    void RemoveKey(const std::wstring& path) { m_keys.erase(path); }
    bool HasKey(const std::wstring& path) const { return m_keys.count(path) != 0; }
    // Creates the key when needed.
    void Set(const std::wstring& path, const std::wstring& name, RegValue data);
    // The stored value, empty when the key or the value is missing.
    RegValue Get(const std::wstring& path, const std::wstring& name) const;
    bool Has(const std::wstring& path, const std::wstring& name) const;
    size_t ValueCount(const std::wstring& path) const;
    // Refuses full access to every key from now on.
    void RefuseRights() { m_refused = true; }
    int WriteCount() const { return m_writes; }
    // Every later change misses the other registry view.
    void FailMirror() { m_mirrorFails = true; }
    // The device the last name change was for: the other view's name is left alone unless it names that one.
    std::wstring nameDevice;

    bool OpenFullAccess(const std::wstring& path) override;
    std::wstring ReadPort(const std::wstring& devicePath) override;
    RegValue Read(const std::wstring& path, const std::wstring& name, short type,
                  const RegValue& fallback) override;
    void Write(const std::wstring& path, const std::wstring& name, short type,
               const RegValue& value) override;
    std::optional<ValueTable> List(const std::wstring& path) override;
    std::optional<ValueTable> ListPolicy() override { return List(kPolicyKeyPath); }
    void WriteName(const std::wstring& path, const std::wstring& name, const std::wstring& data,
                   std::wstring_view device) override {
        nameDevice = device;
        Write(path, name, kTypeText, data);
    }
    void DeleteName(const std::wstring& path, const std::wstring& name, std::wstring_view device) override;
    bool TakeMirrorFailure() override { return std::exchange(m_mirrorMissed, false); }

private:
    struct Value {
        std::wstring name;
        RegValue data;
    };
    using Key = std::vector<Value>;
    Value* Find(const std::wstring& path, const std::wstring& name);
    const Value* Find(const std::wstring& path, const std::wstring& name) const;

    std::map<std::wstring, Key> m_keys;
    bool m_refused = false;
    int m_writes = 0;
    bool m_mirrorFails = false;
    bool m_mirrorMissed = false;
};

} // namespace vtx::setup::test
