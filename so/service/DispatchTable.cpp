// The dispatch interface's methods and parameters, name lookup, and the Automation
// conversion of each parameter type. Constant data: any thread may read it.
#include "service/DispatchTable.h"

#include "com/Variant.h"

namespace vtx {

namespace {

using enum ArgType;

constexpr ParamInfo kLevel[] = {{L"Level", Long}};
constexpr ParamInfo kTimeout[] = {{L"timeout", Long}};
constexpr ParamInfo kFreeze[] = {{L"freeze", Bool}};
constexpr ParamInfo kCompareFirmware[] = {{L"firmwareFileName", Bstr}, {L"pResult", LongRef}};
constexpr ParamInfo kDirectIO[] = {{L"command", Long}, {L"pData", LongRef}, {L"pString", BstrRef}};
constexpr ParamInfo kOpenService[] = {
    {L"DeviceClass", Bstr}, {L"DeviceName", Bstr}, {L"pDispatch", Dispatch}};
constexpr ParamInfo kStatisticsBuffer[] = {{L"statisticsBuffer", Bstr}};
constexpr ParamInfo kRetrieveStatistics[] = {{L"pStatisticsBuffer", BstrRef}};
constexpr ParamInfo kFirmwareFile[] = {{L"firmwareFileName", Bstr}};
constexpr ParamInfo kPropIndex[] = {{L"PropIndex", Long}};
constexpr ParamInfo kSetNumber[] = {{L"PropIndex", Long}, {L"Number", Long}};
constexpr ParamInfo kSetString[] = {{L"PropIndex", Long}, {L"str", Bstr}};
constexpr ParamInfo kWaitForDrawerClose[] = {
    {L"beepTimeout", Long}, {L"beepFrequency", Long}, {L"beepDuration", Long}, {L"beepDelay", Long}};

const MethodInfo kMethods[] = {
    {so_dispid::CheckHealth, L"CheckHealth", ResultType::Long, kLevel},
    {so_dispid::Claim, L"Claim", ResultType::Long, kTimeout},
    {so_dispid::Close, L"Close", ResultType::Long, {}},
    {so_dispid::COFreezeEvents, L"COFreezeEvents", ResultType::Long, kFreeze},
    {so_dispid::CompareFirmwareVersion, L"CompareFirmwareVersion", ResultType::Long, kCompareFirmware},
    {so_dispid::DirectIO, L"DirectIO", ResultType::Long, kDirectIO},
    {so_dispid::OpenService, L"OpenService", ResultType::Long, kOpenService},
    {so_dispid::Release, L"Release", ResultType::Long, {}},
    {so_dispid::ResetStatistics, L"ResetStatistics", ResultType::Long, kStatisticsBuffer},
    {so_dispid::RetrieveStatistics, L"RetrieveStatistics", ResultType::Long, kRetrieveStatistics},
    {so_dispid::UpdateFirmware, L"UpdateFirmware", ResultType::Long, kFirmwareFile},
    {so_dispid::UpdateStatistics, L"UpdateStatistics", ResultType::Long, kStatisticsBuffer},
    {so_dispid::GetPropertyNumber, L"GetPropertyNumber", ResultType::Long, kPropIndex},
    {so_dispid::SetPropertyNumber, L"SetPropertyNumber", ResultType::None, kSetNumber},
    {so_dispid::GetPropertyString, L"GetPropertyString", ResultType::Bstr, kPropIndex},
    {so_dispid::SetPropertyString, L"SetPropertyString", ResultType::None, kSetString},
    {so_dispid::OpenDrawer, L"OpenDrawer", ResultType::None, {}},
    {so_dispid::WaitForDrawerClose, L"WaitForDrawerClose", ResultType::None, kWaitForDrawerClose},
};

// Unwraps VT_BYREF|VT_VARIANT, as passed by clients that hold Variants.
const VARIANT& Deref(const VARIANT& v) {
    if (V_VT(&v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&v) != nullptr) {
        return *V_VARIANTREF(&v);
    }
    return v;
}

HRESULT ConvertOne(ArgType type, VARIANT& source, ConvertedArg& out) {
    switch (type) {
    case Long:
        return VariantChangeType(out.value.get(), &source, 0, VT_I4);
    case Bstr:
        return VariantChangeType(out.value.get(), &source, 0, VT_BSTR);
    case Bool: {
        HRESULT hr = VariantChangeType(out.value.get(), &source, 0, VT_BOOL);
        if (SUCCEEDED(hr)) {
            // Any non-zero VARIANT_BOOL counts as true.
            bool on = V_BOOL(out.value.get()) != VARIANT_FALSE;
            out.value.clear();
            V_VT(out.value.get()) = VT_I4;
            V_I4(out.value.get()) = on ? 1 : 0;
        }
        return hr;
    }
    case Dispatch: {
        const VARIANT& v = Deref(source);
        switch (V_VT(&v)) {
        case VT_DISPATCH:
            out.dispatch = V_DISPATCH(&v);
            return S_OK;
        case VT_DISPATCH | VT_BYREF:
            out.dispatch = V_DISPATCHREF(&v) ? *V_DISPATCHREF(&v) : nullptr;
            return S_OK;
        case VT_UNKNOWN:
            // The pointer is kept, unreferenced, for the whole session. An IDispatch
            // found through QueryInterface may be a tear-off that dies with our
            // reference, so only a null one is taken.
            if (V_UNKNOWN(&v) != nullptr) {
                return DISP_E_TYPEMISMATCH;
            }
            out.dispatch = nullptr;
            return S_OK;
        case VT_EMPTY:
        case VT_NULL:
            out.dispatch = nullptr;
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
        }
    }
    case LongRef: {
        if (V_VT(&source) == (VT_BYREF | VT_I4)) {
            out.longRef = V_I4REF(&source);
        } else if (V_VT(&source) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&source) != nullptr) {
            VARIANT& inner = *V_VARIANTREF(&source);
            if (V_VT(&inner) == VT_EMPTY) {
                inner = LongVariant(0);
            }
            if (V_VT(&inner) != VT_I4) {
                return DISP_E_TYPEMISMATCH;
            }
            out.longRef = &V_I4(&inner);
        }
        return out.longRef != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
    }
    case BstrRef: {
        if (V_VT(&source) == (VT_BYREF | VT_BSTR)) {
            out.bstrRef = V_BSTRREF(&source);
        } else if (V_VT(&source) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&source) != nullptr) {
            VARIANT& inner = *V_VARIANTREF(&source);
            if (V_VT(&inner) == VT_EMPTY) {
                V_VT(&inner) = VT_BSTR;
                V_BSTR(&inner) = nullptr;
            }
            if (V_VT(&inner) != VT_BSTR) {
                return DISP_E_TYPEMISMATCH;
            }
            out.bstrRef = &V_BSTR(&inner);
        }
        return out.bstrRef != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
    }
    }
    return DISP_E_TYPEMISMATCH;
}

} // namespace

std::span<const MethodInfo> CashDrawerMethods() {
    return kMethods;
}

const MethodInfo* FindMethod(DISPID id) {
    for (const MethodInfo& m : kMethods) {
        if (m.dispid == id) {
            return &m;
        }
    }
    return nullptr;
}

HRESULT ConvertArguments(const MethodInfo& method, const DISPPARAMS& params,
                         std::array<ConvertedArg, 4>& args, UINT* argErr) {
    if (params.cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    if (params.cArgs != method.params.size()) {
        return DISP_E_BADPARAMCOUNT;
    }
    if (params.cArgs != 0 && params.rgvarg == nullptr) {
        return E_INVALIDARG;
    }
    for (UINT i = 0; i < params.cArgs; ++i) {
        // rgvarg holds the arguments last to first.
        UINT slot = params.cArgs - 1 - i;
        HRESULT hr = ConvertOne(method.params[i].type, params.rgvarg[slot], args[i]);
        if (FAILED(hr)) {
            if (argErr != nullptr) {
                *argErr = slot;
            }
            return hr;
        }
    }
    return S_OK;
}

} // namespace vtx
