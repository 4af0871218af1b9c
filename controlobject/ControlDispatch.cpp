// The Control Object's IDispatch: names to DISPIDs, and Invoke to the OPOS
// members with Automation's argument conversions. On the application's
// thread, as every call to it.
#include "CashDrawerControl.h"

#include "ControlIdentity.h"
#include "ControlMembers.h"
#include "ControlObjectIds.h"
#include "DeferredRelease.h"
#include "com/ArgConversion.h"
#include "com/Bstr.h"
#include "com/NameLookup.h"

#include <new>

namespace vtx::co {

namespace {

using enum MemberKind;
using enum ValueType;
using namespace opos;

// Methods' parameters, in call order.
constexpr ArgType kNumber[] = {ArgType::Long};
constexpr ArgType kText[] = {ArgType::Bstr};
constexpr ArgType kTextOut[] = {ArgType::BstrRef};
constexpr ArgType kDirectIO[] = {ArgType::Long, ArgType::LongRef, ArgType::BstrRef};
constexpr ArgType kCompareFirmware[] = {ArgType::Bstr, ArgType::LongRef};
constexpr ArgType kFourNumbers[] = {ArgType::Long, ArgType::Long, ArgType::Long, ArgType::Long};

constexpr ControlMember MethodOf(DISPID id, const wchar_t* name, std::span<const ArgType> params) {
    return {id, name, Method, static_cast<UINT>(params.size()), Long, 0, false, params};
}

const ControlMember kMembers[] = {
    // Properties: the Control Object's own (index 0) and the service's, read by index.
    {co_dispid::BinaryConversion, L"BinaryConversion", Property, 0, Long, 0, true},
    {co_dispid::CapPowerReporting, L"CapPowerReporting", Property, 0, Long, PIDX_CapPowerReporting, false},
    {co_dispid::PowerNotify, L"PowerNotify", Property, 0, Long, PIDX_PowerNotify, true},
    {co_dispid::PowerState, L"PowerState", Property, 0, Long, PIDX_PowerState, false},
    {co_dispid::CapStatisticsReporting, L"CapStatisticsReporting", Property, 0, Bool,
     PIDX_CapStatisticsReporting, false},
    {co_dispid::CapUpdateStatistics, L"CapUpdateStatistics", Property, 0, Bool, PIDX_CapUpdateStatistics,
     false},
    {co_dispid::CapCompareFirmwareVersion, L"CapCompareFirmwareVersion", Property, 0, Bool,
     PIDX_CapCompareFirmwareVersion, false},
    {co_dispid::CapUpdateFirmware, L"CapUpdateFirmware", Property, 0, Bool, PIDX_CapUpdateFirmware, false},
    {co_dispid::ControlObjectDescription, L"ControlObjectDescription", Property, 0, Text, 0, false},
    {co_dispid::ControlObjectVersion, L"ControlObjectVersion", Property, 0, Long, 0, false},
    {co_dispid::CheckHealthText, L"CheckHealthText", Property, 0, Text, PIDX_CheckHealthText, false},
    {co_dispid::Claimed, L"Claimed", Property, 0, Bool, PIDX_Claimed, false},
    {co_dispid::DeviceDescription, L"DeviceDescription", Property, 0, Text, PIDX_DeviceDescription, false},
    {co_dispid::FreezeEvents, L"FreezeEvents", Property, 0, Bool, PIDX_FreezeEvents, true},
    {co_dispid::DeviceEnabled, L"DeviceEnabled", Property, 0, Bool, PIDX_DeviceEnabled, true},
    {co_dispid::DeviceName, L"DeviceName", Property, 0, Text, PIDX_DeviceName, false},
    {co_dispid::OpenResult, L"OpenResult", Property, 0, Long, 0, false},
    {co_dispid::ServiceObjectDescription, L"ServiceObjectDescription", Property, 0, Text,
     PIDX_ServiceObjectDescription, false},
    {co_dispid::ServiceObjectVersion, L"ServiceObjectVersion", Property, 0, Long, PIDX_ServiceObjectVersion,
     false},
    {co_dispid::ResultCode, L"ResultCode", Property, 0, Long, 0, false},
    {co_dispid::ResultCodeExtended, L"ResultCodeExtended", Property, 0, Long, 0, false},
    {co_dispid::State, L"State", Property, 0, Long, 0, false},
    {co_dispid::CapStatus, L"CapStatus", Property, 0, Bool, PIDXCash_CapStatus, false},
    {co_dispid::DrawerOpened, L"DrawerOpened", Property, 0, Bool, PIDXCash_DrawerOpened, false},
    {co_dispid::CapStatusMultiDrawerDetect, L"CapStatusMultiDrawerDetect", Property, 0, Bool,
     PIDXCash_CapStatusMultiDrawerDetect, false},
    // Methods, each answering its result code.
    MethodOf(co_dispid::CheckHealth, L"CheckHealth", kNumber),
    MethodOf(co_dispid::DirectIO, L"DirectIO", kDirectIO),
    MethodOf(co_dispid::ClaimDevice, L"ClaimDevice", kNumber),
    MethodOf(co_dispid::ResetStatistics, L"ResetStatistics", kText),
    MethodOf(co_dispid::Close, L"Close", {}),
    MethodOf(co_dispid::Claim, L"Claim", kNumber),
    MethodOf(co_dispid::Open, L"Open", kText),
    MethodOf(co_dispid::ReleaseDevice, L"ReleaseDevice", {}),
    MethodOf(co_dispid::UpdateStatistics, L"UpdateStatistics", kText),
    MethodOf(co_dispid::CompareFirmwareVersion, L"CompareFirmwareVersion", kCompareFirmware),
    MethodOf(co_dispid::UpdateFirmware, L"UpdateFirmware", kText),
    MethodOf(co_dispid::OpenDrawer, L"OpenDrawer", {}),
    MethodOf(co_dispid::WaitForDrawerClose, L"WaitForDrawerClose", kFourNumbers),
    MethodOf(co_dispid::RetrieveStatistics, L"RetrieveStatistics", kTextOut),
};

const ControlMember* FindMember(DISPID id) {
    for (const ControlMember& m : kMembers) {
        if (m.id == id) {
            return &m;
        }
    }
    return nullptr;
}

bool IsPropertyPut(WORD flags, const DISPPARAMS& params) {
    return (flags & DISPATCH_PROPERTYPUT) != 0 && params.cArgs == 1 && params.cNamedArgs == 1 &&
           params.rgdispidNamedArgs != nullptr && params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
}

HRESULT FailArg(const DISPPARAMS& p, UINT* argErr, UINT index, HRESULT hr) {
    if (argErr != nullptr) {
        *argErr = ArgErrIndex(p, index);
    }
    return hr;
}

} // namespace

// A method's arguments, converted: numbers in their places, the one text,
// and the references a method writes through.
struct MethodArgs {
    long numbers[4] = {};
    std::wstring text;
    LongByRef data;
    TextByRef textOut;
};

namespace {

HRESULT ConvertMethodArgs(const ControlMember& member, const DISPPARAMS& p, MethodArgs& args, UINT* argErr) {
    for (UINT i = 0; i < member.argCount; ++i) {
        VARIANT& arg = ArgAt(p, i);
        HRESULT hr = DISP_E_TYPEMISMATCH; // no method takes a flag or an object
        switch (member.params[i]) {
        case ArgType::Long:
            hr = ToLong(arg, args.numbers[i]);
            break;
        case ArgType::Bstr:
            hr = ToText(arg, args.text);
            break;
        case ArgType::LongRef:
            hr = args.data.Bind(arg);
            break;
        case ArgType::BstrRef:
            hr = args.textOut.Bind(arg);
            break;
        case ArgType::Bool:
        case ArgType::Dispatch:
            break;
        }
        if (FAILED(hr)) {
            return FailArg(p, argErr, i, hr);
        }
    }
    return S_OK;
}

} // namespace

std::span<const ControlMember> ControlMembers() {
    return kMembers;
}

HRESULT CCashDrawerControl::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) {
        return E_POINTER;
    }
    ComPtr<ITypeInfo> info;
    *pctinfo = Offers(Facet::TypeInfo) && SUCCEEDED(TypeInfoOf(IID_ICashDrawerControl, info.put())) ? 1 : 0;
    return S_OK;
}

HRESULT CCashDrawerControl::GetTypeInfo(UINT index, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) {
        return E_POINTER;
    }
    *ppTInfo = nullptr;
    if (index != 0) {
        return DISP_E_BADINDEX;
    }
    // No type library to be had here: as GetTypeInfoCount said.
    if (!Offers(Facet::TypeInfo) || FAILED(TypeInfoOf(IID_ICashDrawerControl, ppTInfo))) {
        return E_NOTIMPL;
    }
    return S_OK;
}

HRESULT CCashDrawerControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    // Parameter names are not offered: any name after the member's is unknown.
    return LookUpNames(kMembers, &ControlMember::id, riid, names, count, ids);
}

HRESULT CCashDrawerControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    const ControlMember* member = FindMember(id);
    if (member == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const DISPPARAMS& p = params != nullptr ? *params : none;
    if (p.cArgs != 0 && p.rgvarg == nullptr) {
        return E_INVALIDARG;
    }
    // The application may release its last reference from inside the call.
    AddRef();
    if (m_callDepth == 0) {
        // A service closed from inside one of its own calls can go now.
        DropService(std::move(m_retired));
    }
    HRESULT hr = S_OK;
    try {
        hr = member->kind == MemberKind::Property ? InvokeProperty(*member, flags, p, result, argErr)
                                                  : InvokeMethod(*member, flags, p, result, argErr);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    Release();
    return hr;
}

HRESULT CCashDrawerControl::InvokeProperty(const ControlMember& member, WORD flags, const DISPPARAMS& p,
                                           VARIANT* result, UINT* argErr) {
    if (IsPropertyPut(flags, p)) {
        return PutProperty(member, p, argErr);
    }
    if ((flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (p.cArgs != 0) {
        return DISP_E_BADPARAMCOUNT;
    }
    GetProperty(member, result);
    return S_OK;
}

HRESULT CCashDrawerControl::PutProperty(const ControlMember& member, const DISPPARAMS& p, UINT* argErr) {
    if (!member.writable) {
        return DISP_E_MEMBERNOTFOUND;
    }
    long value = 0;
    bool on = false;
    HRESULT hr = member.type == ValueType::Bool ? ToBool(p.rgvarg[0], on) : ToLong(p.rgvarg[0], value);
    if (FAILED(hr)) {
        return FailArg(p, argErr, 0, hr);
    }
    // The code the write answers is kept as ResultCode; Invoke itself succeeded.
    if (member.id == co_dispid::BinaryConversion) {
        SetBinaryConversion(value);
    } else {
        SetServiceNumber(member.pidx, member.type == ValueType::Bool ? (on ? 1 : 0) : value);
    }
    return S_OK;
}

void CCashDrawerControl::GetProperty(const ControlMember& member, VARIANT* result) {
    switch (member.id) {
    case co_dispid::ResultCode:
        SetLong(result, ResultCode());
        break;
    case co_dispid::ResultCodeExtended:
        SetLong(result, ResultCodeExtended());
        break;
    case co_dispid::State:
        SetLong(result, GetState());
        break;
    case co_dispid::OpenResult:
        SetLong(result, OpenResult());
        break;
    case co_dispid::BinaryConversion:
        SetLong(result, BinaryConversion());
        break;
    case co_dispid::ControlObjectVersion:
        SetLong(result, kControlObjectVersion);
        break;
    case co_dispid::ControlObjectDescription:
        SetText(result, Bstr(kControlObjectDescription).release());
        break;
    default:
        // The service's property, by its index.
        if (member.type == ValueType::Text) {
            SetText(result, ReadText(member.pidx));
        } else if (member.type == ValueType::Bool) {
            SetBool(result, ReadNumber(member.pidx) != 0);
        } else {
            SetLong(result, ReadNumber(member.pidx));
        }
    }
}

HRESULT CCashDrawerControl::InvokeMethod(const ControlMember& member, WORD flags, const DISPPARAMS& p,
                                         VARIANT* result, UINT* argErr) {
    if ((flags & DISPATCH_METHOD) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (p.cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    if (p.cArgs != member.argCount) {
        return DISP_E_BADPARAMCOUNT;
    }
    // Convert first: a bad argument must not reach the device.
    MethodArgs args;
    HRESULT hr = ConvertMethodArgs(member, p, args, argErr);
    if (FAILED(hr)) {
        return hr;
    }
    const long code = CallMethod(member.id, args);
    // Whatever the code, the service may have written the outputs.
    args.textOut.WriteBack();
    if (FAILED(hr = args.data.WriteBack())) {
        return FailArg(p, argErr, 1, hr);
    }
    SetLong(result, code);
    return S_OK;
}

long CCashDrawerControl::CallMethod(DISPID id, MethodArgs& args) {
    const long* a = args.numbers;
    Bstr textArg(args.text);
    switch (id) {
    case co_dispid::Open:
        return Open(args.text);
    case co_dispid::Close:
        return Close();
    case co_dispid::Claim:
    case co_dispid::ClaimDevice:
        return Claim(a[0]);
    case co_dispid::ReleaseDevice:
        return ReleaseDevice();
    case co_dispid::CheckHealth:
        return CheckHealth(a[0]);
    case co_dispid::DirectIO:
        return DirectIO(a[0], args.data.get(), args.textOut.get());
    case co_dispid::OpenDrawer:
        return OpenDrawer();
    case co_dispid::WaitForDrawerClose:
        return WaitForDrawerClose(a[0], a[1], a[2], a[3]);
    case co_dispid::RetrieveStatistics:
        return RetrieveStatistics(args.textOut.get());
    case co_dispid::ResetStatistics:
        return ResetStatistics(textArg.get());
    case co_dispid::UpdateStatistics:
        return UpdateStatistics(textArg.get());
    case co_dispid::CompareFirmwareVersion:
        return CompareFirmwareVersion(textArg.get(), args.data.get());
    case co_dispid::UpdateFirmware:
        return UpdateFirmware(textArg.get());
    default:
        return 0;
    }
}

} // namespace vtx::co
