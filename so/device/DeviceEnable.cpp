// Enabling and disabling the device: the port when no claim holds it, and the
// status monitor. Control Object's thread only.
#include "service/CashDrawer.h"

#include "opos/OposConstants.h"

namespace vtx {

namespace {
constexpr int kEnableOpenAttempts = 5;
} // namespace

long CCashDrawer::EnableDevice(bool enable) {
    bool openedHere = false;
    bool startedHere = false;
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
        // PowerNotify cannot change while enabled, so the monitor may take this as it is.
        m_bReportPower = m_properties.m_bAutoReconnect && m_properties.PowerNotify == opos::OPOS_PN_ENABLED;
        // Before the monitor runs: its first power report must not be overwritten.
        m_properties.PowerState = opos::OPOS_PS_UNKNOWN;
        if (!m_statusThread.Start(&CCashDrawer::StatusThreadProc, this)) {
            m_trace.Log(kTraceFailures, "status monitor not started: error %lu", GetLastError());
            // Without a monitor the device would be "enabled" but never report.
            if (openedHere) {
                ClosePort("no status monitor");
            }
            return StoreResult(opos::OPOS_E_FAILURE);
        }
        startedHere = true;
        m_trace.Log(kTraceWire, "status monitor started");
    }
    if (!enable) {
        StopStatusMonitor();
    }
    if (!enable && !m_properties.IsClaimed()) {
        ClosePort("disabled");
    }
    if (enable && !startedHere) {
        // Enabling an enabled device starts power reporting over.
        m_properties.PowerState = opos::OPOS_PS_UNKNOWN;
    }
    m_properties.SetFlag(FLAG_ENABLED, enable);
    return StoreResult(opos::OPOS_SUCCESS);
}

} // namespace vtx
