#include "service/CashDrawer.h"

#include "service/OposConstants.h"

namespace vtx {

namespace {
constexpr int kEnableOpenAttempts = 5;
constexpr DWORD kMonitorStopLimitMs = 1000;
} // namespace

long CCashDrawer::EnableDevice(bool enable) {
    bool openedHere = false;
    if (enable && !m_properties.IsClaimed() && !m_properties.IsEnabled()) {
        MutexLock lock(m_hPortMutex.get());
        for (int i = 0; i < kEnableOpenAttempts && !openedHere; ++i) {
            openedHere = OpenPort(m_properties.m_strPortName, m_properties.m_nBaudRate);
        }
        if (!openedHere) {
            return StoreResult(opos::OPOS_E_FAILURE);
        }
    }
    if (enable && !m_statusThread.IsRunning()) {
        // Taken here, not by the new thread: a wait begun right after enabling
        // already moves DrawerOpened.
        m_bMonitorStartedOpen = m_properties.DrawerOpened != 0;
        if (!m_statusThread.Start(&CCashDrawer::StatusThreadProc, this)) {
            // Without a monitor the device would be "enabled" but never report.
            if (openedHere) {
                m_serialPort.Close();
            }
            return StoreResult(opos::OPOS_E_FAILURE);
        }
    }
    if (!enable && m_statusThread.IsRunning()) {
        m_statusThread.Stop(kMonitorStopLimitMs);
    }
    if (!enable && !m_properties.IsClaimed()) {
        m_serialPort.Close();
    }
    m_properties.SetFlag(FLAG_ENABLED, enable);
    if (enable) {
        m_properties.PowerState = opos::OPOS_PS_UNKNOWN;
    }
    return StoreResult(opos::OPOS_SUCCESS);
}

} // namespace vtx
