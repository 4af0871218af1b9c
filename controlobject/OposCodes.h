#pragma once
// OPOS values the Control Object answers with or passes on.

namespace vtx::co::opos {

inline constexpr long OPOS_SUCCESS = 0;
inline constexpr long OPOS_E_CLOSED = 101;
inline constexpr long OPOS_E_NOSERVICE = 104;
inline constexpr long OPOS_E_ILLEGAL = 106;
inline constexpr long OPOS_E_NOEXIST = 109;
inline constexpr long OPOS_E_EXTENDED = 114;

inline constexpr long OPOS_S_CLOSED = 1;

inline constexpr long PIDX_DeviceEnabled = 3;
inline constexpr long PIDX_FreezeEvents = 4;
inline constexpr long PIDX_ResultCode = 6;
inline constexpr long PIDX_ResultCodeExtended = 7;
inline constexpr long PIDX_State = 9;
inline constexpr long PIDX_CheckHealthText = 1000001;
inline constexpr long PIDXCash_DrawerOpened = 1001;

} // namespace vtx::co::opos
