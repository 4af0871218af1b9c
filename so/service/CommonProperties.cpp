// The common properties' values at Open, and their numbers by property index.
#include "service/CommonProperties.h"

#include "opos/OposConstants.h"

namespace vtx {

using namespace opos;

CCommonProperties::CCommonProperties() {
    Reset();
}

void CCommonProperties::Reset() {
    CapCompareFirmwareVersion = 0;
    CapPowerReporting = OPOS_PR_STANDARD;
    CapStatisticsReporting = 1;
    CapUpdateFirmware = 0;
    CapUpdateStatistics = 0;
    CheckHealthText.clear();
    FreezeEvents = 0;
    PowerNotify = OPOS_PN_DISABLED;
    PowerState = OPOS_PS_UNKNOWN;
    State = OPOS_S_IDLE;
    ResultCode = OPOS_SUCCESS;
    ResultCodeExtended = 0;
    BinaryConversion = OPOS_BC_NONE;
    m_dwFlags = 0;
}

bool CCommonProperties::GetNumber(long pidx, long& value) const {
    switch (pidx) {
    case PIDX_Claimed:
        value = IsClaimed() ? 1 : 0;
        return true;
    // The enabled bit's own value, as callers of this device have always seen it.
    case PIDX_DeviceEnabled:
        value = static_cast<long>(m_dwFlags & FLAG_ENABLED);
        return true;
    case PIDX_FreezeEvents:
        value = FreezeEvents;
        return true;
    case PIDX_ResultCode:
        value = ResultCode;
        return true;
    case PIDX_ResultCodeExtended:
        value = ResultCodeExtended;
        return true;
    case PIDX_ServiceObjectVersion:
        value = kServiceObjectVersion;
        return true;
    case PIDX_State:
        value = State;
        return true;
    case PIDX_BinaryConversion:
        value = BinaryConversion;
        return true;
    case PIDX_PowerNotify:
        value = PowerNotify;
        return true;
    case PIDX_PowerState:
        value = PowerState;
        return true;
    case PIDX_CapPowerReporting:
        value = CapPowerReporting;
        return true;
    case PIDX_CapStatisticsReporting:
        value = CapStatisticsReporting;
        return true;
    case PIDX_CapUpdateStatistics:
        value = CapUpdateStatistics;
        return true;
    case PIDX_CapCompareFirmwareVersion:
        value = CapCompareFirmwareVersion;
        return true;
    case PIDX_CapUpdateFirmware:
        value = CapUpdateFirmware;
        return true;
    default:
        return false;
    }
}

} // namespace vtx
