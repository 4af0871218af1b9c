// A test's own logical device keys, created and removed again.
#include "DeviceRegistry.h"

#include "opos/OposConstants.h"
#include "win32/DeviceSettings.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

#include <winternl.h>

#include <gtest/gtest.h>

#include <atomic>

namespace vtx::test {

namespace {
using NtSetValueKeyFn = LONG(NTAPI*)(HANDLE, PUNICODE_STRING, ULONG, ULONG, PVOID, ULONG);

UniqueRegKey OpenDevice(const std::wstring& path) {
    UniqueRegKey key;
    LSTATUS rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 key.put(), nullptr);
    EXPECT_EQ(rc, ERROR_SUCCESS) << "cannot create HKLM\\" << std::string(path.begin(), path.end());
    return key;
}
} // namespace

DeviceKey::DeviceKey(std::wstring name) : m_name(std::move(name)) {
    OpenDevice(Path());
}

DeviceKey::~DeviceKey() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, Path().c_str());
}

std::wstring DeviceKey::Path() const {
    return std::wstring(opos::kCashDrawerClassKey) + L"\\" + m_name;
}

void DeviceKey::SetPort(const std::wstring& port) {
    ASSERT_TRUE(WriteRegistryText(OpenDevice(Path()).get(), L"Port", port));
}

void DeviceKey::SetRaw(const std::wstring& value, DWORD type, const void* data, DWORD bytes) {
    UniqueRegKey key = OpenDevice(Path());
    // RegSetValueEx under Wine appends a NUL to text values; ntdll stores what it is given.
    auto setValue = reinterpret_cast<NtSetValueKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    ASSERT_NE(setValue, nullptr);
    UNICODE_STRING name;
    name.Buffer = const_cast<PWSTR>(value.c_str());
    name.Length = static_cast<USHORT>(value.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    ASSERT_EQ(setValue(key.get(), &name, 0, type, const_cast<void*>(data), bytes), 0);
}

void DeviceKey::DeleteValue(const std::wstring& value) {
    UniqueRegKey key = OpenDevice(Path());
    RegDeleteValueW(key.get(), value.c_str());
}

LogicalDeviceName::LogicalDeviceName(std::wstring name, const std::wstring& device)
    : m_name(std::move(name)) {
    EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, opos::kCashDrawerClassKey, m_name.c_str(), REG_SZ,
                              device.c_str(), static_cast<DWORD>((device.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

LogicalDeviceName::~LogicalDeviceName() {
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, opos::kCashDrawerClassKey, m_name.c_str());
}

PolicyKey::PolicyKey(const wchar_t* value, DWORD type, const void* data) {
    UniqueRegKey key;
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPolicyKeyPath, KEY_WOW64_64KEY, 0); // a failed run's
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPolicyKeyPath, 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const DWORD bytes = type == REG_DWORD ? 4 : 2 * (1 + lstrlenW(static_cast<const wchar_t*>(data)));
    EXPECT_TRUE(!data || !RegSetValueExW(key.get(), value, 0, type, static_cast<const BYTE*>(data), bytes));
}

PolicyKey::~PolicyKey() {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPolicyKeyPath, KEY_WOW64_64KEY, 0);
    EXPECT_FALSE(OpenPolicyKey()) << "the policy key outlived its test";
}

std::wstring UniqueDeviceName(const wchar_t* stem) {
    static std::atomic<int> counter{0};
    return std::wstring(stem) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

} // namespace vtx::test
