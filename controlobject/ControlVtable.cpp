// The dual interface ICashDrawerControl as early-bound clients call it: each
// vtable member is an Invoke of its DISPID, so both bindings share one table,
// one set of argument rules and one result. On the application's thread.
#include "CashDrawerControl.h"

#include "ControlObjectIds.h"
#include "com/Invoke.h"
#include "com/Variant.h"

namespace vtx::co {

namespace {

// A property read through Invoke; `take` moves the value out of the result.
// A read that fails leaves 0, VARIANT_FALSE or a null BSTR, never whatever
// the caller's variable held.
template <class T, class Take> HRESULT GetAs(IDispatch* self, DISPID id, T* p, Take take) {
    if (p == nullptr) {
        return E_POINTER;
    }
    *p = T{};
    Variant result;
    HRESULT hr = InvokeByDispid(self, id, DISPATCH_PROPERTYGET, {}, result.get());
    if (SUCCEEDED(hr)) {
        *p = take(result.get());
    }
    return hr;
}

} // namespace

HRESULT CCashDrawerControl::GetVia(DISPID id, long* p) {
    return GetAs(this, id, p, [](VARIANT* v) { return V_I4(v); });
}

HRESULT CCashDrawerControl::GetVia(DISPID id, VARIANT_BOOL* p) {
    return GetAs(this, id, p, [](VARIANT* v) { return V_BOOL(v); });
}

HRESULT CCashDrawerControl::GetVia(DISPID id, BSTR* p) {
    return GetAs(this, id, p, [](VARIANT* v) {
        BSTR text = V_BSTR(v);
        V_VT(v) = VT_EMPTY; // the string moves to the caller
        return text;
    });
}

HRESULT CCashDrawerControl::PutVia(DISPID id, VARIANT value) {
    return InvokeByDispid(this, id, DISPATCH_PROPERTYPUT, {&value, 1}, nullptr);
}

HRESULT CCashDrawerControl::CallVia(DISPID id, std::initializer_list<VARIANT> args, long* pRC) {
    // Nothing reaches the device without somewhere to put its answer.
    if (pRC == nullptr) {
        return E_POINTER;
    }
    Variant result;
    HRESULT hr = InvokeByDispid(this, id, DISPATCH_METHOD, args, result.get());
    // A call refused as a call answers a code all the same (a client that
    // reads only the code must not take an earlier call's success for this
    // one's), and ResultCode says the same.
    *pRC = SUCCEEDED(hr) ? V_I4(result.get())
                         : Store(hr == E_POINTER ? opos::OPOS_E_ILLEGAL : opos::OPOS_E_FAILURE);
    return hr;
}

HRESULT CCashDrawerControl::get_BinaryConversion(long* p) {
    return GetVia(co_dispid::BinaryConversion, p);
}
HRESULT CCashDrawerControl::put_BinaryConversion(long value) {
    return PutVia(co_dispid::BinaryConversion, LongVariant(value));
}
HRESULT CCashDrawerControl::get_CapPowerReporting(long* p) {
    return GetVia(co_dispid::CapPowerReporting, p);
}
HRESULT CCashDrawerControl::get_PowerNotify(long* p) {
    return GetVia(co_dispid::PowerNotify, p);
}
HRESULT CCashDrawerControl::put_PowerNotify(long value) {
    return PutVia(co_dispid::PowerNotify, LongVariant(value));
}
HRESULT CCashDrawerControl::get_PowerState(long* p) {
    return GetVia(co_dispid::PowerState, p);
}
HRESULT CCashDrawerControl::get_CapStatisticsReporting(VARIANT_BOOL* p) {
    return GetVia(co_dispid::CapStatisticsReporting, p);
}
HRESULT CCashDrawerControl::get_CapUpdateStatistics(VARIANT_BOOL* p) {
    return GetVia(co_dispid::CapUpdateStatistics, p);
}
HRESULT CCashDrawerControl::get_CapCompareFirmwareVersion(VARIANT_BOOL* p) {
    return GetVia(co_dispid::CapCompareFirmwareVersion, p);
}
HRESULT CCashDrawerControl::get_CapUpdateFirmware(VARIANT_BOOL* p) {
    return GetVia(co_dispid::CapUpdateFirmware, p);
}
HRESULT CCashDrawerControl::get_ControlObjectDescription(BSTR* p) {
    return GetVia(co_dispid::ControlObjectDescription, p);
}
HRESULT CCashDrawerControl::get_ControlObjectVersion(long* p) {
    return GetVia(co_dispid::ControlObjectVersion, p);
}
HRESULT CCashDrawerControl::get_CheckHealthText(BSTR* p) {
    return GetVia(co_dispid::CheckHealthText, p);
}
HRESULT CCashDrawerControl::get_Claimed(VARIANT_BOOL* p) {
    return GetVia(co_dispid::Claimed, p);
}
HRESULT CCashDrawerControl::get_DeviceDescription(BSTR* p) {
    return GetVia(co_dispid::DeviceDescription, p);
}
HRESULT CCashDrawerControl::get_FreezeEvents(VARIANT_BOOL* p) {
    return GetVia(co_dispid::FreezeEvents, p);
}
HRESULT CCashDrawerControl::put_FreezeEvents(VARIANT_BOOL value) {
    return PutVia(co_dispid::FreezeEvents, BoolVariant(value != VARIANT_FALSE));
}
HRESULT CCashDrawerControl::get_DeviceEnabled(VARIANT_BOOL* p) {
    return GetVia(co_dispid::DeviceEnabled, p);
}
HRESULT CCashDrawerControl::put_DeviceEnabled(VARIANT_BOOL value) {
    return PutVia(co_dispid::DeviceEnabled, BoolVariant(value != VARIANT_FALSE));
}
HRESULT CCashDrawerControl::get_DeviceName(BSTR* p) {
    return GetVia(co_dispid::DeviceName, p);
}
HRESULT CCashDrawerControl::get_OpenResult(long* p) {
    return GetVia(co_dispid::OpenResult, p);
}
HRESULT CCashDrawerControl::get_ServiceObjectDescription(BSTR* p) {
    return GetVia(co_dispid::ServiceObjectDescription, p);
}
HRESULT CCashDrawerControl::get_ServiceObjectVersion(long* p) {
    return GetVia(co_dispid::ServiceObjectVersion, p);
}
HRESULT CCashDrawerControl::get_ResultCode(long* p) {
    return GetVia(co_dispid::ResultCode, p);
}
HRESULT CCashDrawerControl::get_ResultCodeExtended(long* p) {
    return GetVia(co_dispid::ResultCodeExtended, p);
}
HRESULT CCashDrawerControl::get_State(long* p) {
    return GetVia(co_dispid::State, p);
}
HRESULT CCashDrawerControl::get_CapStatus(VARIANT_BOOL* p) {
    return GetVia(co_dispid::CapStatus, p);
}
HRESULT CCashDrawerControl::get_DrawerOpened(VARIANT_BOOL* p) {
    return GetVia(co_dispid::DrawerOpened, p);
}
HRESULT CCashDrawerControl::get_CapStatusMultiDrawerDetect(VARIANT_BOOL* p) {
    return GetVia(co_dispid::CapStatusMultiDrawerDetect, p);
}

HRESULT CCashDrawerControl::CheckHealth(long level, long* pRC) {
    return CallVia(co_dispid::CheckHealth, {LongVariant(level)}, pRC);
}
HRESULT CCashDrawerControl::DirectIO(long command, long* pData, BSTR* pString, long* pRC) {
    return CallVia(co_dispid::DirectIO,
                   {LongVariant(command), LongRefVariant(pData), BstrRefVariant(pString)}, pRC);
}
HRESULT CCashDrawerControl::ClaimDevice(long timeout, long* pRC) {
    return CallVia(co_dispid::ClaimDevice, {LongVariant(timeout)}, pRC);
}
HRESULT CCashDrawerControl::ResetStatistics(BSTR statisticsBuffer, long* pRC) {
    return CallVia(co_dispid::ResetStatistics, {BstrVariant(statisticsBuffer)}, pRC);
}
HRESULT CCashDrawerControl::Close(long* pRC) {
    return CallVia(co_dispid::Close, {}, pRC);
}
HRESULT CCashDrawerControl::Claim(long timeout, long* pRC) {
    return CallVia(co_dispid::Claim, {LongVariant(timeout)}, pRC);
}
HRESULT CCashDrawerControl::Open(BSTR deviceName, long* pRC) {
    return CallVia(co_dispid::Open, {BstrVariant(deviceName)}, pRC);
}
HRESULT CCashDrawerControl::ReleaseDevice(long* pRC) {
    return CallVia(co_dispid::ReleaseDevice, {}, pRC);
}
HRESULT CCashDrawerControl::UpdateStatistics(BSTR statisticsBuffer, long* pRC) {
    return CallVia(co_dispid::UpdateStatistics, {BstrVariant(statisticsBuffer)}, pRC);
}
HRESULT CCashDrawerControl::CompareFirmwareVersion(BSTR firmwareFileName, long* pResult, long* pRC) {
    return CallVia(co_dispid::CompareFirmwareVersion,
                   {BstrVariant(firmwareFileName), LongRefVariant(pResult)}, pRC);
}
HRESULT CCashDrawerControl::UpdateFirmware(BSTR firmwareFileName, long* pRC) {
    return CallVia(co_dispid::UpdateFirmware, {BstrVariant(firmwareFileName)}, pRC);
}
HRESULT CCashDrawerControl::OpenDrawer(long* pRC) {
    return CallVia(co_dispid::OpenDrawer, {}, pRC);
}
HRESULT CCashDrawerControl::WaitForDrawerClose(long beepTimeout, long beepFrequency, long beepDuration,
                                               long beepDelay, long* pRC) {
    return CallVia(co_dispid::WaitForDrawerClose,
                   {LongVariant(beepTimeout), LongVariant(beepFrequency), LongVariant(beepDuration),
                    LongVariant(beepDelay)},
                   pRC);
}
HRESULT CCashDrawerControl::RetrieveStatistics(BSTR* pStatisticsBuffer, long* pRC) {
    return CallVia(co_dispid::RetrieveStatistics, {BstrRefVariant(pStatisticsBuffer)}, pRC);
}

} // namespace vtx::co
