#pragma once
// The class key and a device key of the test prefix, as an installation
// leaves them (in both registry views on 64-bit Windows), for a run of the
// utility: whatever was there before is saved and put back afterwards, values
// and all.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace vtx::setup::test {

class InstalledDevice {
public:
    explicit InstalledDevice(std::wstring deviceName);
    ~InstalledDevice();
    InstalledDevice(const InstalledDevice&) = delete;
    InstalledDevice& operator=(const InstalledDevice&) = delete;

    std::wstring DevicePath() const;
    // Empties the class key and gives the device key exactly these values, in both views.
    void Reset(const std::wstring& port, const std::optional<std::wstring>& count);
    void SetDeviceText(const std::wstring& name, const std::wstring& text);
    // Stored as Windows keeps text written without a terminating NUL.
    void SetDeviceTextWithoutNul(const std::wstring& name, const std::wstring& text);
    void SetName(const std::wstring& name, const std::wstring& device);
    void RemoveDeviceKey();
    std::optional<std::wstring> DeviceText(const std::wstring& name) const;
    // The device key's value as a program of the other architecture reads
    // it: the other registry view on 64-bit Windows, the only one on 32-bit.
    std::optional<std::wstring> MirrorText(const std::wstring& name) const;
    std::optional<std::wstring> NameData(const std::wstring& name) const;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Snapshot {
        bool existed = false;
        std::vector<Value> values;
    };
    static Snapshot Save(const std::wstring& path, REGSAM view);
    static void Restore(const std::wstring& path, const Snapshot& saved, REGSAM view);

    std::wstring m_device;
    REGSAM m_mirror;
    Snapshot m_class;
    Snapshot m_deviceKey;
    Snapshot m_mirrorClass;
    Snapshot m_mirrorDeviceKey;
};

} // namespace vtx::setup::test
