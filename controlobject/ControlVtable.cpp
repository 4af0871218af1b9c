// The dual interface ICashDrawerControl as early-bound clients call it: each
// vtable member is an Invoke of its DISPID, so both bindings share one table,
// one set of argument rules and one result. On the Control Object's thread.
#include "CashDrawerControl.h"

#include "ControlObjectIds.h"
#include "com/Variant.h"

#include <array>

namespace vtx::co {

namespace {

VARIANT Typed(VARTYPE type, void* value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    V_BYREF(&v) = value;
    return v;
}

VARIANT LongArg(long value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT BoolArg(VARIANT_BOOL value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value;
    return v;
}

// Borrowed: the caller keeps the string.
VARIANT TextArg(BSTR value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = value;
    return v;
}

} // namespace

HRESULT CCashDrawerControl::InvokeVia(DISPID id, WORD flags, std::initializer_list<VARIANT> args,
                                      VARIANT* result) {
    std::array<VARIANT, 4> reversed{};
    UINT count = 0;
    for (const VARIANT& a : args) {
        reversed[args.size() - 1 - count++] = a; // shallow: the caller owns the contents
    }
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{count != 0 ? reversed.data() : nullptr, isPut ? &put : nullptr, count, isPut ? 1u : 0u};
    return Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

HRESULT CCashDrawerControl::GetVia(DISPID id, long* p) {
    if (p == nullptr) {
        return E_POINTER;
    }
    Variant result;
    HRESULT hr = InvokeVia(id, DISPATCH_PROPERTYGET, {}, result.get());
    if (SUCCEEDED(hr)) {
        *p = V_I4(result.get());
    }
    return hr;
}

HRESULT CCashDrawerControl::GetVia(DISPID id, VARIANT_BOOL* p) {
    if (p == nullptr) {
        return E_POINTER;
    }
    Variant result;
    HRESULT hr = InvokeVia(id, DISPATCH_PROPERTYGET, {}, result.get());
    if (SUCCEEDED(hr)) {
        *p = V_BOOL(result.get());
    }
    return hr;
}

HRESULT CCashDrawerControl::GetVia(DISPID id, BSTR* p) {
    if (p == nullptr) {
        return E_POINTER;
    }
    *p = nullptr;
    Variant result;
    HRESULT hr = InvokeVia(id, DISPATCH_PROPERTYGET, {}, result.get());
    if (SUCCEEDED(hr)) {
        *p = V_BSTR(result.get()); // the string moves to the caller
        V_VT(result.get()) = VT_EMPTY;
    }
    return hr;
}

HRESULT CCashDrawerControl::PutVia(DISPID id, VARIANT value) {
    return InvokeVia(id, DISPATCH_PROPERTYPUT, {value}, nullptr);
}

HRESULT CCashDrawerControl::CallVia(DISPID id, std::initializer_list<VARIANT> args, long* pRC) {
    // Nothing reaches the device without somewhere to put its answer.
    if (pRC == nullptr) {
        return E_POINTER;
    }
    Variant result;
    HRESULT hr = InvokeVia(id, DISPATCH_METHOD, args, result.get());
    if (SUCCEEDED(hr)) {
        *pRC = V_I4(result.get());
    }
    return hr;
}

HRESULT CCashDrawerControl::get_BinaryConversion(long* p) {
    return GetVia(dispid::BinaryConversion, p);
}
HRESULT CCashDrawerControl::put_BinaryConversion(long value) {
    return PutVia(dispid::BinaryConversion, LongArg(value));
}
HRESULT CCashDrawerControl::get_CapPowerReporting(long* p) {
    return GetVia(dispid::CapPowerReporting, p);
}
HRESULT CCashDrawerControl::get_PowerNotify(long* p) {
    return GetVia(dispid::PowerNotify, p);
}
HRESULT CCashDrawerControl::put_PowerNotify(long value) {
    return PutVia(dispid::PowerNotify, LongArg(value));
}
HRESULT CCashDrawerControl::get_PowerState(long* p) {
    return GetVia(dispid::PowerState, p);
}
HRESULT CCashDrawerControl::get_CapStatisticsReporting(VARIANT_BOOL* p) {
    return GetVia(dispid::CapStatisticsReporting, p);
}
HRESULT CCashDrawerControl::get_CapUpdateStatistics(VARIANT_BOOL* p) {
    return GetVia(dispid::CapUpdateStatistics, p);
}
HRESULT CCashDrawerControl::get_CapCompareFirmwareVersion(VARIANT_BOOL* p) {
    return GetVia(dispid::CapCompareFirmwareVersion, p);
}
HRESULT CCashDrawerControl::get_CapUpdateFirmware(VARIANT_BOOL* p) {
    return GetVia(dispid::CapUpdateFirmware, p);
}
HRESULT CCashDrawerControl::get_ControlObjectDescription(BSTR* p) {
    return GetVia(dispid::ControlObjectDescription, p);
}
HRESULT CCashDrawerControl::get_ControlObjectVersion(long* p) {
    return GetVia(dispid::ControlObjectVersion, p);
}
HRESULT CCashDrawerControl::get_CheckHealthText(BSTR* p) {
    return GetVia(dispid::CheckHealthText, p);
}
HRESULT CCashDrawerControl::get_Claimed(VARIANT_BOOL* p) {
    return GetVia(dispid::Claimed, p);
}
HRESULT CCashDrawerControl::get_DeviceDescription(BSTR* p) {
    return GetVia(dispid::DeviceDescription, p);
}
HRESULT CCashDrawerControl::get_FreezeEvents(VARIANT_BOOL* p) {
    return GetVia(dispid::FreezeEvents, p);
}
HRESULT CCashDrawerControl::put_FreezeEvents(VARIANT_BOOL value) {
    return PutVia(dispid::FreezeEvents, BoolArg(value));
}
HRESULT CCashDrawerControl::get_DeviceEnabled(VARIANT_BOOL* p) {
    return GetVia(dispid::DeviceEnabled, p);
}
HRESULT CCashDrawerControl::put_DeviceEnabled(VARIANT_BOOL value) {
    return PutVia(dispid::DeviceEnabled, BoolArg(value));
}
HRESULT CCashDrawerControl::get_DeviceName(BSTR* p) {
    return GetVia(dispid::DeviceName, p);
}
HRESULT CCashDrawerControl::get_OpenResult(long* p) {
    return GetVia(dispid::OpenResult, p);
}
HRESULT CCashDrawerControl::get_ServiceObjectDescription(BSTR* p) {
    return GetVia(dispid::ServiceObjectDescription, p);
}
HRESULT CCashDrawerControl::get_ServiceObjectVersion(long* p) {
    return GetVia(dispid::ServiceObjectVersion, p);
}
HRESULT CCashDrawerControl::get_ResultCode(long* p) {
    return GetVia(dispid::ResultCode, p);
}
HRESULT CCashDrawerControl::get_ResultCodeExtended(long* p) {
    return GetVia(dispid::ResultCodeExtended, p);
}
HRESULT CCashDrawerControl::get_State(long* p) {
    return GetVia(dispid::State, p);
}
HRESULT CCashDrawerControl::get_CapStatus(VARIANT_BOOL* p) {
    return GetVia(dispid::CapStatus, p);
}
HRESULT CCashDrawerControl::get_DrawerOpened(VARIANT_BOOL* p) {
    return GetVia(dispid::DrawerOpened, p);
}
HRESULT CCashDrawerControl::get_CapStatusMultiDrawerDetect(VARIANT_BOOL* p) {
    return GetVia(dispid::CapStatusMultiDrawerDetect, p);
}

HRESULT CCashDrawerControl::CheckHealth(long level, long* pRC) {
    return CallVia(dispid::CheckHealth, {LongArg(level)}, pRC);
}
HRESULT CCashDrawerControl::DirectIO(long command, long* pData, BSTR* pString, long* pRC) {
    return CallVia(dispid::DirectIO,
                   {LongArg(command), Typed(VT_BYREF | VT_I4, pData), Typed(VT_BYREF | VT_BSTR, pString)},
                   pRC);
}
HRESULT CCashDrawerControl::ClaimDevice(long timeout, long* pRC) {
    return CallVia(dispid::ClaimDevice, {LongArg(timeout)}, pRC);
}
HRESULT CCashDrawerControl::ResetStatistics(BSTR statisticsBuffer, long* pRC) {
    return CallVia(dispid::ResetStatistics, {TextArg(statisticsBuffer)}, pRC);
}
HRESULT CCashDrawerControl::Close(long* pRC) {
    return CallVia(dispid::Close, {}, pRC);
}
HRESULT CCashDrawerControl::Claim(long timeout, long* pRC) {
    return CallVia(dispid::Claim, {LongArg(timeout)}, pRC);
}
HRESULT CCashDrawerControl::Open(BSTR deviceName, long* pRC) {
    return CallVia(dispid::Open, {TextArg(deviceName)}, pRC);
}
HRESULT CCashDrawerControl::ReleaseDevice(long* pRC) {
    return CallVia(dispid::ReleaseDevice, {}, pRC);
}
HRESULT CCashDrawerControl::UpdateStatistics(BSTR statisticsBuffer, long* pRC) {
    return CallVia(dispid::UpdateStatistics, {TextArg(statisticsBuffer)}, pRC);
}
HRESULT CCashDrawerControl::CompareFirmwareVersion(BSTR firmwareFileName, long* pResult, long* pRC) {
    return CallVia(dispid::CompareFirmwareVersion,
                   {TextArg(firmwareFileName), Typed(VT_BYREF | VT_I4, pResult)}, pRC);
}
HRESULT CCashDrawerControl::UpdateFirmware(BSTR firmwareFileName, long* pRC) {
    return CallVia(dispid::UpdateFirmware, {TextArg(firmwareFileName)}, pRC);
}
HRESULT CCashDrawerControl::OpenDrawer(long* pRC) {
    return CallVia(dispid::OpenDrawer, {}, pRC);
}
HRESULT CCashDrawerControl::WaitForDrawerClose(long beepTimeout, long beepFrequency, long beepDuration,
                                               long beepDelay, long* pRC) {
    return CallVia(dispid::WaitForDrawerClose,
                   {LongArg(beepTimeout), LongArg(beepFrequency), LongArg(beepDuration), LongArg(beepDelay)},
                   pRC);
}
HRESULT CCashDrawerControl::RetrieveStatistics(BSTR* pStatisticsBuffer, long* pRC) {
    return CallVia(dispid::RetrieveStatistics, {Typed(VT_BYREF | VT_BSTR, pStatisticsBuffer)}, pRC);
}

} // namespace vtx::co
