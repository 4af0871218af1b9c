#pragma once
// The cash drawer's properties and device values. Control Object's thread, except the
// atomic DrawerOpened, which the status monitor writes too.
#include "service/CommonProperties.h"

#include <atomic>
#include <string>

namespace vtx {

// The cash drawer's own properties, and the port it is reached through.
class CCashDrawerProperties : public CCommonProperties {
public:
    CCashDrawerProperties();

    // Reads the device's "Port" and "AutoReconnect" values from HKLM\keyPath.
    // False (and 104 stored) when the key cannot be opened.
    bool ReadRegistry(const std::wstring& keyPath);

    long CapStatus = 1;
    long CapStatusMultiDrawerDetect = 0;
    // Written by the status monitor thread too.
    std::atomic<long> DrawerOpened{0};
    std::wstring m_strPortName;
    unsigned long m_nBaudRate = 9600;
    // "AutoReconnect" is 1: the monitor reopens a dropped port, and reports
    // power when PowerNotify asks for it. Anything else: it never reopens.
    bool m_bAutoReconnect = false;
};

} // namespace vtx
