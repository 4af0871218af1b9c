#pragma once
// The properties every OPOS device category has, and the state flag word. Control Object's
// thread, except the atomic PowerState, which the status monitor writes when it reports power.
#include <windows.h>

#include <atomic>
#include <string>

namespace vtx {

// Reported as ServiceObjectVersion, and in decimal as ServiceObjectDescription.
inline constexpr long kServiceObjectVersion = 1012001;

// State flag word bits.
inline constexpr DWORD FLAG_OPEN = 0x1;
inline constexpr DWORD FLAG_CLAIMED = 0x2;
inline constexpr DWORD FLAG_ENABLED = 0x4;

// The OPOS properties every device category has, with the state flag word.
class CCommonProperties {
public:
    CCommonProperties();
    virtual ~CCommonProperties() = default;

    // Puts every common property and the flag word back to its default.
    void Reset();

    // Value of a numeric property by index; false for an index this device
    // does not answer. DrawerOpened is the caller's business.
    bool GetNumber(long pidx, long& value) const;

    // Stores a result code and clears the extended code, as every method does.
    void StoreResult(long code) {
        ResultCode = code;
        ResultCodeExtended = 0;
    }

    bool IsOpen() const { return (m_dwFlags & FLAG_OPEN) != 0; }
    bool IsClaimed() const { return (m_dwFlags & FLAG_CLAIMED) != 0; }
    bool IsEnabled() const { return (m_dwFlags & FLAG_ENABLED) != 0; }
    void SetFlag(DWORD flag, bool on) { m_dwFlags = on ? (m_dwFlags | flag) : (m_dwFlags & ~flag); }

    long CapCompareFirmwareVersion;
    long CapPowerReporting;
    long CapStatisticsReporting;
    long CapUpdateFirmware;
    long CapUpdateStatistics;
    std::wstring CheckHealthText;
    long FreezeEvents;
    long PowerNotify;
    // Written by the status monitor thread too, when it reports power.
    std::atomic<long> PowerState;
    long State;
    long ResultCode;
    long ResultCodeExtended;
    long BinaryConversion;
    DWORD m_dwFlags;
};

} // namespace vtx
