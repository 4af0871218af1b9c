// The Control Object's IDispatch: names to DISPIDs, and Invoke to the OPOS
// members with Automation's argument conversions. On the Control Object's
// thread, as every call to it.
#include "CashDrawerControl.h"

#include "ControlMembers.h"
#include "ControlObjectIds.h"
#include "DeferredRelease.h"
#include "DispatchArgs.h"
#include "com/Bstr.h"
#include "com/NameLookup.h"

#include <new>

namespace vtx::co {

namespace {

using enum MemberKind;
using enum ValueType;
using namespace opos;

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
    {co_dispid::CheckHealth, L"CheckHealth", Method, 1, Long, 0, false},
    {co_dispid::DirectIO, L"DirectIO", Method, 3, Long, 0, false},
    {co_dispid::ClaimDevice, L"ClaimDevice", Method, 1, Long, 0, false},
    {co_dispid::ResetStatistics, L"ResetStatistics", Method, 1, Long, 0, false},
    {co_dispid::Close, L"Close", Method, 0, Long, 0, false},
    {co_dispid::Claim, L"Claim", Method, 1, Long, 0, false},
    {co_dispid::Open, L"Open", Method, 1, Long, 0, false},
    {co_dispid::ReleaseDevice, L"ReleaseDevice", Method, 0, Long, 0, false},
    {co_dispid::UpdateStatistics, L"UpdateStatistics", Method, 1, Long, 0, false},
    {co_dispid::CompareFirmwareVersion, L"CompareFirmwareVersion", Method, 2, Long, 0, false},
    {co_dispid::UpdateFirmware, L"UpdateFirmware", Method, 1, Long, 0, false},
    {co_dispid::OpenDrawer, L"OpenDrawer", Method, 0, Long, 0, false},
    {co_dispid::WaitForDrawerClose, L"WaitForDrawerClose", Method, 4, Long, 0, false},
    {co_dispid::RetrieveStatistics, L"RetrieveStatistics", Method, 1, Long, 0, false},
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

// The methods whose first argument is a text.
bool TakesText(DISPID id) {
    return id == co_dispid::Open || id == co_dispid::ResetStatistics || id == co_dispid::UpdateStatistics ||
           id == co_dispid::UpdateFirmware || id == co_dispid::CompareFirmwareVersion;
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
    *pctinfo =
        !TestBuildHides("typeinfo") && SUCCEEDED(TypeInfoOf(IID_ICashDrawerControl, info.put())) ? 1 : 0;
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
    if (TestBuildHides("typeinfo") || FAILED(TypeInfoOf(IID_ICashDrawerControl, ppTInfo))) {
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

    auto failArg = [argErr, &p](UINT index, HRESULT hr) {
        if (argErr != nullptr) {
            *argErr = p.cArgs - 1 - index;
        }
        return hr;
    };

    // The application may release its last reference from inside the call.
    AddRef();
    if (m_callDepth == 0) {
        // A service closed from inside one of its own calls can go now.
        DropService(std::move(m_retired));
    }
    HRESULT hr = S_OK;
    try {
        if (member->kind == MemberKind::Property) {
            if (IsPropertyPut(flags, p)) {
                long value = 0;
                bool on = false;
                if (!member->writable) {
                    hr = DISP_E_MEMBERNOTFOUND;
                } else if (FAILED(hr = member->type == ValueType::Bool ? ToBool(p.rgvarg[0], on)
                                                                       : ToLong(p.rgvarg[0], value))) {
                    hr = failArg(0, hr);
                } else if (id == co_dispid::BinaryConversion) {
                    SetBinaryConversion(value);
                } else {
                    SetServiceNumber(member->pidx, member->type == ValueType::Bool ? (on ? 1 : 0) : value);
                }
            } else if ((flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0) {
                hr = DISP_E_MEMBERNOTFOUND;
            } else if (p.cArgs != 0) {
                hr = DISP_E_BADPARAMCOUNT;
            } else {
                switch (id) {
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
                    if (member->type == ValueType::Text) {
                        SetText(result, ReadText(member->pidx));
                    } else if (member->type == ValueType::Bool) {
                        SetBool(result, ReadNumber(member->pidx) != 0);
                    } else {
                        SetLong(result, ReadNumber(member->pidx));
                    }
                }
            }
        } else if ((flags & DISPATCH_METHOD) == 0) {
            hr = DISP_E_MEMBERNOTFOUND;
        } else if (p.cNamedArgs != 0) {
            hr = DISP_E_NONAMEDARGS;
        } else if (p.cArgs != member->argCount) {
            hr = DISP_E_BADPARAMCOUNT;
        } else {
            long a[4] = {};
            LongByRef data;
            TextByRef textOut;
            std::wstring text;
            // Convert first: a bad argument must not reach the device.
            if (TakesText(id)) {
                if (FAILED(hr = ToText(ArgAt(p, 0), text))) {
                    hr = failArg(0, hr);
                } else if (id == co_dispid::CompareFirmwareVersion && FAILED(hr = data.Bind(ArgAt(p, 1)))) {
                    hr = failArg(1, hr);
                }
            } else if (id == co_dispid::DirectIO) {
                if (FAILED(hr = ToLong(ArgAt(p, 0), a[0]))) {
                    hr = failArg(0, hr);
                } else if (FAILED(hr = data.Bind(ArgAt(p, 1)))) {
                    hr = failArg(1, hr);
                } else if (FAILED(hr = textOut.Bind(ArgAt(p, 2)))) {
                    hr = failArg(2, hr);
                }
            } else if (id == co_dispid::RetrieveStatistics) {
                if (FAILED(hr = textOut.Bind(ArgAt(p, 0)))) {
                    hr = failArg(0, hr);
                }
            } else {
                for (UINT i = 0; i < member->argCount && SUCCEEDED(hr); ++i) {
                    if (FAILED(hr = ToLong(ArgAt(p, i), a[i]))) {
                        hr = failArg(i, hr);
                    }
                }
            }
            if (SUCCEEDED(hr)) {
                Bstr textArg(text);
                long code = 0;
                switch (id) {
                case co_dispid::Open:
                    code = Open(text);
                    break;
                case co_dispid::Close:
                    code = Close();
                    break;
                case co_dispid::Claim:
                case co_dispid::ClaimDevice:
                    code = Claim(a[0]);
                    break;
                case co_dispid::ReleaseDevice:
                    code = ReleaseDevice();
                    break;
                case co_dispid::CheckHealth:
                    code = CheckHealth(a[0]);
                    break;
                case co_dispid::DirectIO:
                    code = DirectIO(a[0], data.get(), textOut.get());
                    break;
                case co_dispid::OpenDrawer:
                    code = OpenDrawer();
                    break;
                case co_dispid::WaitForDrawerClose:
                    code = WaitForDrawerClose(a[0], a[1], a[2], a[3]);
                    break;
                case co_dispid::RetrieveStatistics:
                    code = RetrieveStatistics(textOut.get());
                    break;
                case co_dispid::ResetStatistics:
                    code = ResetStatistics(textArg.get());
                    break;
                case co_dispid::UpdateStatistics:
                    code = UpdateStatistics(textArg.get());
                    break;
                case co_dispid::CompareFirmwareVersion:
                    code = CompareFirmwareVersion(textArg.get(), data.get());
                    break;
                case co_dispid::UpdateFirmware:
                    code = UpdateFirmware(textArg.get());
                    break;
                default:
                    break;
                }
                // Whatever the code, the service may have written the outputs.
                textOut.WriteBack();
                if (FAILED(hr = data.WriteBack())) {
                    hr = failArg(1, hr);
                } else {
                    SetLong(result, code);
                }
            }
        }
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    Release();
    return hr;
}

} // namespace vtx::co
