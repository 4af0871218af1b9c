// The service object's drawer methods: enabling, the open-drawer command and the wait, as
// short entry points into the drawer link and the status monitor. The application's thread only.
#include "service/CashDrawer.h"

#include "device/DrawerWait.h"
#include "device/Speaker.h"
#include "opos/OposConstants.h"

namespace vtx {

using namespace opos;

namespace {
constexpr int kEnableOpenAttempts = 5;
} // namespace

long CCashDrawer::EnableDevice(bool enable) {
    bool openedHere = false;
    if (enable && !m_properties.IsClaimed() && !m_properties.IsEnabled()) {
        openedHere = m_link.OpenTarget(kEnableOpenAttempts);
        if (!openedHere) {
            return StoreResult(OPOS_E_FAILURE);
        }
    }
    if (enable && !m_monitor.IsRunning()) {
        CStatusMonitor::Settings settings;
        // Taken here, not by the new thread: a wait begun right after enabling
        // already moves DrawerOpened.
        settings.startedOpen = m_properties.DrawerOpened != 0;
        settings.reconnect = m_properties.m_bAutoReconnect;
        // PowerNotify cannot change while enabled, so the monitor may take this as it is.
        // Every application that sets it gets power reports (CapPowerReporting is
        // standard), with or without "AutoReconnect".
        settings.reportPower = m_properties.PowerNotify == OPOS_PN_ENABLED;
        settings.pollPauseMs = m_properties.m_nPollIntervalMs;
        if (!m_monitor.Start(settings)) {
            // Without a monitor the device would be "enabled" but never report.
            if (openedHere) {
                m_link.Drop("no status monitor");
            }
            return StoreResult(OPOS_E_FAILURE);
        }
    } else if (enable) {
        // Enabling an enabled device starts power reporting over.
        m_monitor.RestartPowerReporting();
    }
    if (!enable) {
        StopStatusMonitor();
        if (!m_properties.IsClaimed()) {
            m_link.Drop("disabled");
        }
    }
    m_properties.SetFlag(FLAG_ENABLED, enable);
    return StoreResult(OPOS_SUCCESS);
}

void CCashDrawer::OpenDrawer() {
    if (!m_properties.IsOpen() || !m_properties.IsEnabled()) {
        StoreResult(OPOS_E_ILLEGAL);
        return;
    }
    const long result = m_link.WriteOpenCommand();
    if (result != OPOS_SUCCESS) {
        m_events.CommandFailed(result, m_link.LastError());
    }
    StoreResult(result);
}

void CCashDrawer::WaitForDrawerClose(long beepTimeout, long beepFrequency, long beepDuration,
                                     long beepDelay) {
    if (!m_properties.IsOpen()) {
        StoreResult(OPOS_E_ILLEGAL);
        return;
    }
    if (!m_properties.IsEnabled()) {
        StoreResult(OPOS_E_DISABLED);
        return;
    }
    StoreResult(WaitForClose(m_link, Speaker(), m_trace, m_events,
                             {beepTimeout, beepFrequency, beepDuration, beepDelay}));
}

} // namespace vtx
