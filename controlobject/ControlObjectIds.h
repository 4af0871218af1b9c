#pragma once
// Our OPOS CashDrawer Control Object: a small in-process COM server that a
// POS application creates by the ProgID "OPOS.CashDrawer" and drives through
// IDispatch or the dual interface ICashDrawerControl of its type library. It
// finds the logical device in the registry, creates the device's service
// object from the ProgID the device key names, and forwards the application's
// calls to it. Identifiers only: no thread touches anything here.
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
//   The service's version is not checked at Open; ServiceObjectVersion
//   reads it.
// - OpenResult holds the outcome of the last Open: 0 when it opened; 301
//   already open; 302 no such device; 303 no usable ProgID; 304 the service
//   could not be created; 305 it lacks OpenService; and when OpenService
//   refused: its own answer when that is one of the service's open results
//   (401-499, Open then answers 104), otherwise 306. 0 before any Open.
// - The service's members are bound by name when it is opened; a member the
//   service lacks, or a call that fails as a COM call, answers 104.
// - Every method and property write while closed answers 101 (OPOS_E_CLOSED).
// - ResultCode is the code of the last method or property write, kept here:
//   the service clears its own ResultCode when it is read. Property reads do
//   not change it. Before any call it is 101: the object starts closed.
//   ResultCodeExtended is read from the service only when ResultCode is 114
//   (OPOS_E_EXTENDED); otherwise it is 0.
// - Readable at any time, from the Control Object itself: State (1,
//   OPOS_S_CLOSED, while closed), ResultCode, ResultCodeExtended, OpenResult,
//   ControlObjectDescription, ControlObjectVersion (kControlObjectVersion)
//   and BinaryConversion. Every other property belongs to the open service
//   and is read from it through GetPropertyNumber/GetPropertyString by its
//   property index; while closed (the standard leaves them uninitialised)
//   numbers read 0, booleans false and texts an empty text. A read that
//   fails as a call answers the same.
// - BinaryConversion is kept here: 0 (none) at every Open, 0-2 may be
//   written while open (another value: 106). A cash drawer carries no binary
//   text (DirectIO's text is never converted), so it converts nothing.
// - Claim is ClaimDevice under its older name; both reach the service's
//   Claim. PowerNotify, DeviceEnabled and FreezeEvents are written with
//   SetPropertyNumber; the service decides whether the value is allowed.
// - Close always releases the service, whatever its Close answered, and
//   returns that answer. A Close made from inside one of the service's calls
//   (an event handler, or the message pump of a waiting Claim) releases the
//   service only once that call has returned.
// - Callbacks from the service, on the thread it calls from (the
//   application's): "SOStatusUpdate"(Data) fires StatusUpdateEvent(Data) and
//   "SODirectIO"(EventNumber, pData, pString) fires DirectIOEvent with
//   references to the service's data and text, to every connected sink in
//   turn; what the sinks leave there goes back to the service.
//   "SOProcessID" answers this process's id. "SOData", "SOError",
//   "SOOutputComplete" and "SOOutputCompleteEvent" (events a cash drawer
//   never has) are answered S_OK and fire nothing. Other names are unknown.
// - Events go through one connection point for DIID_CashDrawerControlEvents,
//   the coclass's default source. A sink must answer that IID or IDispatch.
//   Enumerators of connection points and connections are snapshots taken
//   when they are made.
// - By-reference arguments (DirectIO's pData and pString, RetrieveStatistics'
//   buffer, CompareFirmwareVersion's result) take whatever a script or
//   compiled client passes for them: any number for a long, anything
//   convertible to text for a BSTR, typed or in a VARIANT (com/ArgConversion.h).
//   A null reference answers E_POINTER. A value where a reference belongs
//   (JScript, and PowerShell without [ref], pass every argument so) is taken
//   as Automation's own ITypeInfo::Invoke takes it: converted as a by-value
//   argument of that type and lent to the service as a temporary; what it
//   writes is dropped.
// - Through the vtable every out value is written whatever happens, the
//   null pointer aside: a property read that fails leaves 0, VARIANT_FALSE
//   or a null BSTR; a method that fails as a call (E_POINTER for a null
//   in/out pointer, no memory) answers 106 (OPOS_E_ILLEGAL) for the null
//   pointer and 111 (OPOS_E_FAILURE) otherwise, kept as ResultCode as any
//   result code is, so that the code never repeats an earlier call's success.
// - The type library (module/OPOSCashDrawer.idl, TYPELIB 1 of the DLL)
//   describes the dual interface and the events. Names resolve from the
//   dispatch table (ControlDispatch.cpp), case-insensitively, member names
//   only; the vtable goes through the same table. Where no type library can
//   be loaded (the object linked into another program), GetTypeInfoCount
//   answers 0.
#include <windows.h>
#include <oaidl.h>

namespace vtx::co {

inline constexpr wchar_t kProgId[] = L"OPOS.CashDrawer";
inline constexpr wchar_t kDescription[] = L"OPOS CashDrawer Control Object";
// What ControlObjectDescription answers.
inline constexpr wchar_t kControlObjectDescription[] = L"OPOS CashDrawer Control Object, Veltrix Works";
// The standard's release this object implements (1.11), as versions are
// encoded: major * 1000000 + minor * 1000 + build.
inline constexpr long kControlObjectVersion = 1011000;

// {A9B892A3-3202-4897-B03D-87D592FD725F}
inline constexpr CLSID CLSID_CashDrawerControl = {
    0xA9B892A3, 0x3202, 0x4897, {0xB0, 0x3D, 0x87, 0xD5, 0x92, 0xFD, 0x72, 0x5F}};
// {054F8432-3CA3-4188-A11C-7D59D06BBF4F}: the type library, version 1.0.
inline constexpr GUID LIBID_CashDrawerControl = {
    0x054F8432, 0x3CA3, 0x4188, {0xA1, 0x1C, 0x7D, 0x59, 0xD0, 0x6B, 0xBF, 0x4F}};
inline constexpr WORD kTypeLibMajor = 1;
inline constexpr WORD kTypeLibMinor = 0;
// {51D76B0B-CAF8-4D49-B2D6-67A5EB096BEB}: the dual interface.
inline constexpr IID IID_ICashDrawerControl = {
    0x51D76B0B, 0xCAF8, 0x4D49, {0xB2, 0xD6, 0x67, 0xA5, 0xEB, 0x09, 0x6B, 0xEB}};
// {EEEEC9CE-47A6-400F-96D4-D5622538D98B}: the outgoing (event) dispinterface.
// The object fires its events through ControlIdentity.h, which names these.
inline constexpr IID DIID_CashDrawerControlEvents = {
    0xEEEEC9CE, 0x47A6, 0x400F, {0x96, 0xD4, 0xD5, 0x62, 0x25, 0x38, 0xD9, 0x8B}};

} // namespace vtx::co

// Members of the Control Object's dispatch interface: properties low,
// common methods in the 30s and 40s, the cash drawer's own from 50. The
// service object's own interface numbers its members apart (so_dispid).
namespace vtx::co_dispid {
inline constexpr DISPID BinaryConversion = 1;          // property get/put: long
inline constexpr DISPID CapPowerReporting = 2;         // property get: long
inline constexpr DISPID PowerNotify = 3;               // property get/put: long
inline constexpr DISPID PowerState = 4;                // property get: long
inline constexpr DISPID CapStatisticsReporting = 5;    // property get: VARIANT_BOOL
inline constexpr DISPID CapUpdateStatistics = 6;       // property get: VARIANT_BOOL
inline constexpr DISPID CapCompareFirmwareVersion = 7; // property get: VARIANT_BOOL
inline constexpr DISPID CapUpdateFirmware = 8;         // property get: VARIANT_BOOL
inline constexpr DISPID ControlObjectDescription = 11; // property get: BSTR
inline constexpr DISPID ControlObjectVersion = 12;     // property get: long
inline constexpr DISPID CheckHealthText = 13;          // property get: BSTR
inline constexpr DISPID Claimed = 14;                  // property get: VARIANT_BOOL
inline constexpr DISPID DeviceDescription = 15;        // property get: BSTR
inline constexpr DISPID FreezeEvents = 16;             // property get/put: VARIANT_BOOL
inline constexpr DISPID DeviceEnabled = 17;            // property get/put: VARIANT_BOOL
inline constexpr DISPID DeviceName = 18;               // property get: BSTR
inline constexpr DISPID OpenResult = 19;               // property get: long
inline constexpr DISPID ServiceObjectDescription = 20; // property get: BSTR
inline constexpr DISPID ServiceObjectVersion = 21;     // property get: long
inline constexpr DISPID ResultCode = 22;               // property get: long
inline constexpr DISPID ResultCodeExtended = 23;       // property get: long
inline constexpr DISPID State = 24;                    // property get: long
inline constexpr DISPID CheckHealth = 31;              // long CheckHealth(long Level)
inline constexpr DISPID DirectIO = 32;         // long DirectIO(long Command, long* pData, BSTR* pString)
inline constexpr DISPID ClaimDevice = 33;      // long ClaimDevice(long Timeout)
inline constexpr DISPID ResetStatistics = 34;  // long ResetStatistics(BSTR StatisticsBuffer)
inline constexpr DISPID Close = 35;            // long Close()
inline constexpr DISPID Claim = 36;            // long Claim(long Timeout)
inline constexpr DISPID Open = 37;             // long Open(BSTR DeviceName)
inline constexpr DISPID ReleaseDevice = 38;    // long ReleaseDevice()
inline constexpr DISPID UpdateStatistics = 39; // long UpdateStatistics(BSTR StatisticsBuffer)
// long CompareFirmwareVersion(BSTR FirmwareFileName, long* pResult)
inline constexpr DISPID CompareFirmwareVersion = 40;
inline constexpr DISPID UpdateFirmware = 41;             // long UpdateFirmware(BSTR FirmwareFileName)
inline constexpr DISPID CapStatus = 50;                  // property get: VARIANT_BOOL
inline constexpr DISPID DrawerOpened = 51;               // property get: VARIANT_BOOL
inline constexpr DISPID CapStatusMultiDrawerDetect = 52; // property get: VARIANT_BOOL
inline constexpr DISPID OpenDrawer = 60;                 // long OpenDrawer()
// long WaitForDrawerClose(long BeepTimeout, long BeepFrequency, long BeepDuration, long BeepDelay)
inline constexpr DISPID WaitForDrawerClose = 61;
inline constexpr DISPID RetrieveStatistics = 62; // long RetrieveStatistics(BSTR* pStatisticsBuffer)
} // namespace vtx::co_dispid

namespace vtx::co {

// Members of DIID_CashDrawerControlEvents.
namespace event_dispid {
inline constexpr DISPID DirectIOEvent = 2; // void DirectIOEvent(long EventNumber, long* pData, BSTR* pString)
inline constexpr DISPID StatusUpdateEvent = 5; // void StatusUpdateEvent(long Data)
} // namespace event_dispid

// Members of the callback IDispatch handed to the service's OpenService.
namespace callback_dispid {
inline constexpr DISPID SODirectIO = 1;
inline constexpr DISPID SOStatusUpdate = 2;
inline constexpr DISPID SOData = 3;
inline constexpr DISPID SOError = 4;
inline constexpr DISPID SOOutputComplete = 5;
inline constexpr DISPID SOProcessID = 6;
inline constexpr DISPID SOOutputCompleteEvent = 7;
} // namespace callback_dispid

} // namespace vtx::co
