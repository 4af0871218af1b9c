#pragma once
// OPOS values the service object, the Control Object, the setup utility and drawertest share. Constants only.

namespace vtx::opos {

// Result codes.
inline constexpr long OPOS_SUCCESS = 0;
inline constexpr long OPOS_E_CLOSED = 101;
inline constexpr long OPOS_E_NOTCLAIMED = 103;
inline constexpr long OPOS_E_NOSERVICE = 104;
inline constexpr long OPOS_E_DISABLED = 105;
inline constexpr long OPOS_E_ILLEGAL = 106;
inline constexpr long OPOS_E_NOHARDWARE = 107;
inline constexpr long OPOS_E_NOEXIST = 109;
inline constexpr long OPOS_E_FAILURE = 111;
inline constexpr long OPOS_E_EXTENDED = 114;

// Device states.
inline constexpr long OPOS_S_CLOSED = 1;
inline constexpr long OPOS_S_IDLE = 2;

// Power reporting.
inline constexpr long OPOS_PS_UNKNOWN = 2000;
inline constexpr long OPOS_PS_ONLINE = 2001;
inline constexpr long OPOS_PS_OFF_OFFLINE = 2004;
inline constexpr long OPOS_PN_DISABLED = 0;
inline constexpr long OPOS_PN_ENABLED = 1;
inline constexpr long OPOS_PR_STANDARD = 1;

// Time-outs and health check levels.
inline constexpr long OPOS_FOREVER = -1;
inline constexpr long OPOS_CH_INTERNAL = 1;
inline constexpr long OPOS_CH_EXTERNAL = 2;
inline constexpr long OPOS_CH_INTERACTIVE = 3;

// StatusUpdateEvent values.
inline constexpr long CASH_SUE_DRAWERCLOSED = 0;
inline constexpr long CASH_SUE_DRAWEROPEN = 1;
inline constexpr long OPOS_SUE_POWER_ONLINE = 2001;
inline constexpr long OPOS_SUE_POWER_OFF_OFFLINE = 2004;

// What OpenResult says of the last Open.
inline constexpr long OPOS_OR_ALREADYOPEN = 301;
inline constexpr long OPOS_OR_REGBADNAME = 302;
inline constexpr long OPOS_OR_REGPROGID = 303;
inline constexpr long OPOS_OR_CREATE = 304;
inline constexpr long OPOS_OR_BADIF = 305;
inline constexpr long OPOS_OR_FAILEDOPEN = 306;
// The service's own reasons for refusing OpenService lie from here below 500.
inline constexpr long OPOS_ORS_NOPORT = 401;
inline constexpr long OPOS_ORS_LAST = 499;

// Binary conversion.
inline constexpr long OPOS_BC_NONE = 0;
inline constexpr long OPOS_BC_DECIMAL = 2;

// Property indexes.
inline constexpr long PIDX_Claimed = 1;
inline constexpr long PIDX_DataEventEnabled = 2;
inline constexpr long PIDX_DeviceEnabled = 3;
inline constexpr long PIDX_FreezeEvents = 4;
inline constexpr long PIDX_OutputID = 5;
inline constexpr long PIDX_ResultCode = 6;
inline constexpr long PIDX_ResultCodeExtended = 7;
inline constexpr long PIDX_ServiceObjectVersion = 8;
inline constexpr long PIDX_State = 9;
inline constexpr long PIDX_AutoDisable = 10;
inline constexpr long PIDX_BinaryConversion = 11;
inline constexpr long PIDX_DataCount = 12;
inline constexpr long PIDX_PowerNotify = 13;
inline constexpr long PIDX_PowerState = 14;
inline constexpr long PIDX_CapPowerReporting = 501;
inline constexpr long PIDX_CapStatisticsReporting = 502;
inline constexpr long PIDX_CapUpdateStatistics = 503;
inline constexpr long PIDX_CapCompareFirmwareVersion = 504;
inline constexpr long PIDX_CapUpdateFirmware = 505;
inline constexpr long PIDX_CheckHealthText = 1000001;
inline constexpr long PIDX_DeviceDescription = 1000002;
inline constexpr long PIDX_DeviceName = 1000003;
inline constexpr long PIDX_ServiceObjectDescription = 1000004;
inline constexpr long PIDXCash_DrawerOpened = 1001;
inline constexpr long PIDXCash_CapStatus = 1501;
inline constexpr long PIDXCash_CapStatusMultiDrawerDetect = 1502;

// Where the cash drawers' logical devices keep their settings (under HKLM). The installer and the
// scripts keep copies of this path; scripts/check-key-copies.sh holds them to it.
inline constexpr wchar_t kCashDrawerClassKey[] = L"SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";

} // namespace vtx::opos
