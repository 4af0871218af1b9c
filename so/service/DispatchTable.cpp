// The dispatch interface's methods and parameters, name lookup, and the Automation
// conversion of each parameter type. Constant data: any thread may read it.
#include "service/DispatchTable.h"

#include "com/ArgConversion.h"

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

HRESULT ConvertOne(ArgType type, VARIANT& source, ConvertedArg& out) {
    HRESULT hr = S_OK;
    switch (type) {
    case Long:
    case Bool: {
        // A flag travels as 1 or 0: any non-zero VARIANT_BOOL counts as true.
        long number = 0;
        bool on = false;
        hr = type == Long ? ToLong(source, number) : ToBool(source, on);
        if (SUCCEEDED(hr)) {
            *out.value.get() = LongVariant(type == Long ? number : on ? 1 : 0);
        }
        return hr;
    }
    case Bstr:
        return ToBstr(source, out.value);
    case Dispatch:
        // The pointer is kept, unreferenced, for the whole session.
        return ToDispatch(source, out.dispatch);
    case LongRef: {
        // Our callers are Control Objects, which pass a long's or a text's
        // own reference: nothing else is taken.
        LongByRef ref;
        hr = ref.Bind(source, ByRefRule::Exact);
        out.longRef = ref.get();
        return hr;
    }
    case BstrRef: {
        TextByRef ref;
        hr = ref.Bind(source, ByRefRule::Exact);
        out.bstrRef = ref.get();
        return hr;
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
        HRESULT hr = ConvertOne(method.params[i].type, ArgAt(params, i), args[i]);
        if (FAILED(hr)) {
            if (argErr != nullptr) {
                *argErr = ArgErrIndex(params, i);
            }
            return hr;
        }
    }
    return S_OK;
}

} // namespace vtx
