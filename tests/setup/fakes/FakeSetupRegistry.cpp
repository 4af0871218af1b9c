// The in-memory registry for the window logic's tests.
#include "FakeSetupRegistry.h"

#include <algorithm>

namespace vtx::setup::test {

FakeSetupRegistry::Value* FakeSetupRegistry::Find(const std::wstring& path, const std::wstring& name) {
    auto key = m_keys.find(path);
    if (key == m_keys.end()) {
        return nullptr;
    }
    auto it =
        std::find_if(key->second.begin(), key->second.end(), [&](const Value& v) { return v.name == name; });
    return it == key->second.end() ? nullptr : &*it;
}

const FakeSetupRegistry::Value* FakeSetupRegistry::Find(const std::wstring& path,
                                                        const std::wstring& name) const {
    return const_cast<FakeSetupRegistry*>(this)->Find(path, name);
}

void FakeSetupRegistry::Set(const std::wstring& path, const std::wstring& name, RegValue data) {
    if (Value* v = Find(path, name)) {
        v->data = std::move(data);
    } else {
        m_keys[path].push_back({name, std::move(data)});
    }
}

RegValue FakeSetupRegistry::Get(const std::wstring& path, const std::wstring& name) const {
    const Value* v = Find(path, name);
    return v != nullptr ? v->data : RegValue();
}

bool FakeSetupRegistry::Has(const std::wstring& path, const std::wstring& name) const {
    return Find(path, name) != nullptr;
}

size_t FakeSetupRegistry::ValueCount(const std::wstring& path) const {
    auto key = m_keys.find(path);
    return key == m_keys.end() ? 0 : key->second.size();
}

bool FakeSetupRegistry::OpenFullAccess(const std::wstring& path) {
    return !m_refused && HasKey(path);
}

std::wstring FakeSetupRegistry::ReadPort(const std::wstring& devicePath) {
    const Value* v = Find(devicePath, L"Port");
    const auto* text = v != nullptr ? std::get_if<std::wstring>(&v->data) : nullptr;
    return text != nullptr ? *text : std::wstring();
}

RegValue FakeSetupRegistry::Read(const std::wstring& path, const std::wstring& name, short type,
                                 const RegValue& fallback) {
    if (!HasKey(path)) {
        return fallback;
    }
    if (type != kTypeText && type != kTypeBinary && type != kTypeDword) {
        throw RegistryError();
    }
    const Value* v = Find(path, name);
    return v != nullptr ? v->data : fallback;
}

void FakeSetupRegistry::Write(const std::wstring& path, const std::wstring& name, short type,
                              const RegValue& value) {
    // Writing needs the key, not full access: the rights test is a separate step.
    if (!HasKey(path) || type != kTypeText) {
        return;
    }
    ++m_writes;
    Set(path, name, value);
    m_mirrorMissed = m_mirrorMissed || m_mirrorFails;
}

std::optional<ValueTable> FakeSetupRegistry::List(const std::wstring& path) {
    auto key = m_keys.find(path);
    if (key == m_keys.end()) {
        return std::nullopt;
    }
    ValueTable table(std::max<size_t>(101, (key->second.size() / 100 + 1) * 100 + 1));
    for (size_t i = 0; i < key->second.size(); ++i) {
        table[i] = {key->second[i].name, key->second[i].data};
    }
    return table;
}

void FakeSetupRegistry::DeleteName(const std::wstring& path, const std::wstring& name,
                                   std::wstring_view device) {
    nameDevice = device;
    auto key = m_keys.find(path);
    if (key != m_keys.end()) {
        std::erase_if(key->second, [&](const Value& v) { return v.name == name; });
    }
    m_mirrorMissed = m_mirrorMissed || m_mirrorFails;
}

} // namespace vtx::setup::test
