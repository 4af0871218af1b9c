// Saves, lays out and restores the installed device's registry keys for a run of the utility.
#include "InstalledDevice.h"

#include "logic/RegistryLayout.h"
#include "adapters/Win32SetupRegistry.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

#include <winternl.h>

#include <gtest/gtest.h>

namespace vtx::setup::test {

namespace {

UniqueRegKey Create(const std::wstring& path, REGSAM view = 0) {
    UniqueRegKey key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    return key;
}

std::optional<std::wstring> GetText(const std::wstring& path, const std::wstring& name, REGSAM view = 0) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD bytes = 0;
    if (RegGetValueW(key.get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegGetValueW(key.get(), nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
}

void SetText(const std::wstring& path, const std::wstring& name, const std::wstring& text, REGSAM view = 0) {
    WriteRegistryText(Create(path, view).get(), name.c_str(), text);
}

void DeleteAllValues(const std::wstring& path, REGSAM view = 0) {
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) !=
        ERROR_SUCCESS) {
        return;
    }
    wchar_t name[16384];
    for (;;) {
        DWORD length = 16384;
        if (RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        if (RegDeleteValueW(key.get(), name) != ERROR_SUCCESS) {
            break;
        }
    }
}

} // namespace

// The other view is saved and put back too: the utility copies its changes
// there. On 32-bit Windows that "other view" is the same one, restored twice.
InstalledDevice::InstalledDevice(std::wstring deviceName)
    : m_device(std::move(deviceName)), m_mirror(OtherRegistryView()),
      m_class(Save(opos::kCashDrawerClassKey, 0)), m_deviceKey(Save(DevicePath(), 0)),
      m_mirrorClass(Save(opos::kCashDrawerClassKey, m_mirror)),
      m_mirrorDeviceKey(Save(DevicePath(), m_mirror)) {}

InstalledDevice::~InstalledDevice() {
    Restore(DevicePath(), m_mirrorDeviceKey, m_mirror);
    Restore(opos::kCashDrawerClassKey, m_mirrorClass, m_mirror);
    Restore(DevicePath(), m_deviceKey, 0);
    Restore(opos::kCashDrawerClassKey, m_class, 0);
}

std::wstring InstalledDevice::DevicePath() const {
    return std::wstring(opos::kCashDrawerClassKey) + L"\\" + m_device;
}

InstalledDevice::Snapshot InstalledDevice::Save(const std::wstring& path, REGSAM view) {
    Snapshot saved;
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) {
        return saved;
    }
    saved.existed = true;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = 16384;
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegEnumValueW(key.get(), i, name, &length, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) {
            break;
        }
        Value v{std::wstring(name, length), type, std::vector<BYTE>(bytes)};
        length = 16384;
        RegEnumValueW(key.get(), i, name, &length, nullptr, &type, v.data.data(), &bytes);
        saved.values.push_back(std::move(v));
    }
    return saved;
}

void InstalledDevice::Restore(const std::wstring& path, const Snapshot& saved, REGSAM view) {
    if (!saved.existed) {
        UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) ==
            ERROR_SUCCESS) {
            RegDeleteTreeW(key.get(), nullptr);
        }
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
        return;
    }
    DeleteAllValues(path, view);
    UniqueRegKey key = Create(path, view);
    for (const Value& v : saved.values) {
        RegSetValueExW(key.get(), v.name.c_str(), 0, v.type, v.data.data(),
                       static_cast<DWORD>(v.data.size()));
    }
}

void InstalledDevice::Reset(const std::wstring& port, const std::optional<std::wstring>& count) {
    for (REGSAM view : {m_mirror, REGSAM{0}}) {
        Create(opos::kCashDrawerClassKey, view);
        DeleteAllValues(opos::kCashDrawerClassKey, view);
        Create(DevicePath(), view);
        DeleteAllValues(DevicePath(), view);
        SetText(DevicePath(), L"Port", port, view);
        if (count) {
            SetText(DevicePath(), L"LDN", *count, view);
        }
    }
}

void InstalledDevice::SetDeviceText(const std::wstring& name, const std::wstring& text) {
    SetText(DevicePath(), name, text);
}

void InstalledDevice::SetDeviceTextWithoutNul(const std::wstring& name, const std::wstring& text) {
    using NtSetValueKeyFn = LONG(NTAPI*)(HANDLE, PUNICODE_STRING, ULONG, ULONG, PVOID, ULONG);
    // RegSetValueEx under Wine appends a NUL to text values; ntdll stores what it is given.
    auto setValue = reinterpret_cast<NtSetValueKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetValueKey")));
    ASSERT_NE(setValue, nullptr);
    UniqueRegKey key = Create(DevicePath());
    UNICODE_STRING valueName;
    valueName.Buffer = const_cast<PWSTR>(name.c_str());
    valueName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    valueName.MaximumLength = valueName.Length;
    ASSERT_EQ(setValue(key.get(), &valueName, 0, REG_SZ, const_cast<wchar_t*>(text.data()),
                       static_cast<ULONG>(text.size() * sizeof(wchar_t))),
              0);
}

void InstalledDevice::SetName(const std::wstring& name, const std::wstring& device) {
    SetText(opos::kCashDrawerClassKey, name, device);
}

void InstalledDevice::RemoveDeviceKey() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, DevicePath().c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, DevicePath().c_str());
}

std::optional<std::wstring> InstalledDevice::DeviceText(const std::wstring& name) const {
    return GetText(DevicePath(), name);
}

std::optional<std::wstring> InstalledDevice::MirrorText(const std::wstring& name) const {
    return GetText(DevicePath(), name, m_mirror);
}

std::optional<std::wstring> InstalledDevice::NameData(const std::wstring& name) const {
    return GetText(opos::kCashDrawerClassKey, name);
}

} // namespace vtx::setup::test
