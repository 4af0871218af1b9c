// The four property methods the Control Object reads and writes OPOS
// properties through, by property index.
#include "service/CashDrawer.h"

#include "com/Bstr.h"
#include "opos/OposConstants.h"

#include <string>

namespace vtx {

using namespace opos;

long CCashDrawer::GetPropertyNumber(long propIndex) {
    if (!m_properties.IsOpen()) {
        return StoreResult(OPOS_E_CLOSED);
    }
    if (propIndex == PIDXCash_DrawerOpened) {
        // Polled often by applications: leaves ResultCode as it was.
        return m_properties.DrawerOpened.load();
    }
    long value = 0;
    if (propIndex == PIDXCash_CapStatus) {
        value = m_properties.CapStatus;
    } else if (propIndex == PIDXCash_CapStatusMultiDrawerDetect) {
        value = m_properties.CapStatusMultiDrawerDetect;
    } else if (!m_properties.GetNumber(propIndex, value)) {
        return StoreResult(OPOS_E_ILLEGAL);
    }
    // Taken before the store, so reading ResultCode returns the previous code.
    StoreResult(OPOS_SUCCESS);
    return value;
}

void CCashDrawer::SetPropertyNumber(long propIndex, long number) {
    switch (propIndex) {
    case PIDX_DeviceEnabled: {
        // A closed device has no port to open and no monitor to run.
        if (!m_properties.IsOpen()) {
            StoreResult(OPOS_E_CLOSED);
            return;
        }
        // Automation's True is -1: every non-zero number enables.
        bool enable = number != 0;
        if (EnableDevice(enable) != OPOS_SUCCESS) {
            return;
        }
        // EnableDevice set PowerState before the monitor could report power.
        m_properties.SetFlag(FLAG_ENABLED, enable);
        StoreResult(OPOS_SUCCESS);
        return;
    }
    case PIDX_FreezeEvents:
        COFreezeEvents((number & 0xFFFF) == 1);
        m_properties.FreezeEvents = number;
        StoreResult(OPOS_SUCCESS);
        return;
    case PIDX_ResultCode:
    case PIDX_ResultCodeExtended:
        StoreResult(OPOS_SUCCESS);
        return;
    case PIDX_BinaryConversion:
        m_properties.BinaryConversion = number;
        StoreResult(OPOS_SUCCESS);
        return;
    case PIDX_PowerNotify:
        if (m_properties.IsEnabled()) {
            StoreResult(OPOS_E_ILLEGAL);
            return;
        }
        m_properties.PowerNotify = number;
        StoreResult(OPOS_SUCCESS);
        return;
    default:
        StoreResult(OPOS_E_FAILURE);
        return;
    }
}

BSTR CCashDrawer::GetPropertyString(long propIndex) {
    std::wstring text;
    long code = OPOS_SUCCESS;
    switch (propIndex) {
    case PIDX_CheckHealthText:
        text = m_properties.CheckHealthText;
        break;
    case PIDX_DeviceDescription:
        text = L"Veltrix Works OPOS CashDrawer";
        break;
    case PIDX_DeviceName:
        text = L"Veltrix.OPOS.CashDrawer";
        break;
    case PIDX_ServiceObjectDescription:
        text = std::to_wstring(kServiceObjectVersion);
        break;
    default:
        text = L"[Error]";
        code = OPOS_E_ILLEGAL;
        break;
    }
    // Allocated first: a string that cannot be made stores nothing.
    Bstr result(text);
    StoreResult(code);
    return result.release();
}

void CCashDrawer::SetPropertyString(long, BSTR) {
    StoreResult(OPOS_E_ILLEGAL);
}

} // namespace vtx
