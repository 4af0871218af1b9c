#pragma once
#include "service/CommonProperties.h"

#include <atomic>
#include <string>

namespace vtx {

// Where logical devices of this category keep their settings (under HKLM).
inline constexpr wchar_t kCashDrawerClassKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

// The cash drawer's own properties, and the port it is reached through.
class CCashDrawerProperties : public CCommonProperties {
public:
    CCashDrawerProperties();

    // Reads the device's "Port" value from HKLM\keyPath. False (and 104
    // stored) when the key cannot be opened.
    bool ReadRegistry(const std::wstring& keyPath);

    long CapStatus = 1;
    long CapStatusMultiDrawerDetect = 0;
    // Written by the status monitor thread too.
    std::atomic<long> DrawerOpened{0};
    std::wstring m_strPortName;
    unsigned long m_nBaudRate = 9600;
};

} // namespace vtx
