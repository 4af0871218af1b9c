#pragma once
// Our OPOS CashDrawer Control Object: a small in-process COM server that a
// POS application creates by the ProgID "OPOS.CashDrawer" and drives through
// IDispatch. It finds the logical device in the registry, creates the
// device's service object from the ProgID the device key names, and forwards
// the application's calls to it.
//
// Choices where the standard Control Object's behaviour is not fixed:
// - Open(name): `name` is a key under the class key
//   HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer, or a value of the
//   class key whose text names such a key (a logical device name). Not
//   found: 109 (OPOS_E_NOEXIST). The device key's default value is the
//   service's ProgID; missing, unregistered or not creatable in process:
//   104 (OPOS_E_NOSERVICE). The service gets OpenService
//   ("CashDrawer", <device key name>, <our callback IDispatch>); a non-zero
//   answer is returned and the service released. Open while open: 106.
// - The service's members are bound by name when it is opened; a member the
//   service lacks, or a call that fails as a COM call, answers 104.
// - Every method and property write while closed answers 101 (OPOS_E_CLOSED).
// - ResultCode is the code of the last method or property write, kept here:
//   the service clears its own ResultCode when it is read. Property reads do
//   not change it. ResultCodeExtended is read from the service only when
//   ResultCode is 114 (OPOS_E_EXTENDED); otherwise it is 0.
// - While closed, State reads 1 (OPOS_S_CLOSED), the boolean properties read
//   false and CheckHealthText reads an empty text.
// - Close always releases the service, whatever its Close answered, and
//   returns that answer. A Close made from inside one of the service's calls
//   (an event handler, or the message pump of a waiting Claim) releases the
//   service only once that call has returned.
// - Callbacks: "SOStatusUpdate"(Data) fires StatusUpdateEvent(Data) to every
//   connected sink, on the thread the service calls from (the application's).
//   "SODirectIO" is answered and ignored: no DirectIOEvent is offered.
//   Other callback names are unknown.
// - Events go through one connection point for DIID_CashDrawerControlEvents.
//   A sink must answer that IID or IDispatch. Enumerating connection points
//   or connections is not supported (E_NOTIMPL).
// - By-reference arguments (DirectIO's pData and pString, RetrieveStatistics'
//   buffer) take whatever a script or compiled client passes for them: any
//   number for a long, anything convertible to text for a BSTR, typed or in a
//   VARIANT (DispatchArgs.h). A null reference answers E_POINTER.
// - No type library: GetTypeInfoCount answers 0. Names resolve from the
//   table below, case-insensitively.
#include <windows.h>
#include <oaidl.h>

namespace vtx::co {

inline constexpr wchar_t kProgId[] = L"OPOS.CashDrawer";
inline constexpr wchar_t kDescription[] = L"OPOS CashDrawer Control Object";

// {A9B892A3-3202-4897-B03D-87D592FD725F}
inline constexpr CLSID CLSID_CashDrawerControl = {
    0xA9B892A3, 0x3202, 0x4897, {0xB0, 0x3D, 0x87, 0xD5, 0x92, 0xFD, 0x72, 0x5F}};
// {EEEEC9CE-47A6-400F-96D4-D5622538D98B}: the outgoing (event) dispinterface.
inline constexpr IID DIID_CashDrawerControlEvents = {
    0xEEEEC9CE, 0x47A6, 0x400F, {0x96, 0xD4, 0xD5, 0x62, 0x25, 0x38, 0xD9, 0x8B}};

// Members of the Control Object's dispatch interface.
namespace dispid {
inline constexpr DISPID CheckHealthText = 13;    // property get: BSTR
inline constexpr DISPID FreezeEvents = 16;       // property get/put: VARIANT_BOOL
inline constexpr DISPID DeviceEnabled = 17;      // property get/put: VARIANT_BOOL
inline constexpr DISPID ResultCode = 22;         // property get: long
inline constexpr DISPID ResultCodeExtended = 23; // property get: long
inline constexpr DISPID State = 24;              // property get: long
inline constexpr DISPID CheckHealth = 31;        // long CheckHealth(long Level)
inline constexpr DISPID DirectIO = 32;           // long DirectIO(long Command, long* pData, BSTR* pString)
inline constexpr DISPID Close = 35;              // long Close()
inline constexpr DISPID Claim = 36;              // long Claim(long Timeout)
inline constexpr DISPID Open = 37;               // long Open(BSTR DeviceName)
inline constexpr DISPID ReleaseDevice = 38;      // long ReleaseDevice()
inline constexpr DISPID DrawerOpened = 51;       // property get: VARIANT_BOOL
inline constexpr DISPID OpenDrawer = 60;         // long OpenDrawer()
// long WaitForDrawerClose(long BeepTimeout, long BeepFrequency, long BeepDuration, long BeepDelay)
inline constexpr DISPID WaitForDrawerClose = 61;
inline constexpr DISPID RetrieveStatistics = 62; // long RetrieveStatistics(BSTR* pStatisticsBuffer)
} // namespace dispid

// Members of DIID_CashDrawerControlEvents.
namespace event_dispid {
inline constexpr DISPID StatusUpdateEvent = 5; // void StatusUpdateEvent(long Data)
} // namespace event_dispid

// Members of the callback IDispatch handed to the service's OpenService.
namespace callback_dispid {
inline constexpr DISPID SODirectIO = 1;
inline constexpr DISPID SOStatusUpdate = 2;
} // namespace callback_dispid

} // namespace vtx::co
