#pragma once
// Creates a logical device's registry key for a test and removes it again.
#include <windows.h>

#include <string>

namespace vtx::test {

class DeviceKey {
public:
    // HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\<name>, with no values.
    explicit DeviceKey(std::wstring name);
    ~DeviceKey();
    DeviceKey(const DeviceKey&) = delete;
    DeviceKey& operator=(const DeviceKey&) = delete;

    const std::wstring& Name() const { return m_name; }
    std::wstring Path() const;

    void SetPort(const std::wstring& port);
    // Stores exactly these bytes, with no terminating NUL added (as Windows
    // keeps a value written without one).
    void SetRaw(const std::wstring& value, DWORD type, const void* data, DWORD bytes);
    void DeleteValue(const std::wstring& value);

private:
    std::wstring m_name;
};

// A value of the class key naming a device key (a logical device name),
// removed again at the end of the test.
class LogicalDeviceName {
public:
    LogicalDeviceName(std::wstring name, const std::wstring& device);
    ~LogicalDeviceName();
    LogicalDeviceName(const LogicalDeviceName&) = delete;
    LogicalDeviceName& operator=(const LogicalDeviceName&) = delete;
    const std::wstring& Name() const { return m_name; }

private:
    std::wstring m_name;
};

// The machine's policy key (64-bit view) holding one value (none for data nullptr), removed at the end.
struct PolicyKey {
    PolicyKey(const wchar_t* value, DWORD type, const void* data);
    ~PolicyKey();
};

// A device name no key exists for.
std::wstring UniqueDeviceName(const wchar_t* stem);

} // namespace vtx::test
