// The Control Object's IDispatch: names to DISPIDs, and Invoke to the OPOS
// members with Automation's argument conversions.
#include "CashDrawerControl.h"

#include "ControlObjectIds.h"
#include "DeferredRelease.h"
#include "DispatchArgs.h"

#include <new>

namespace vtx::co {

namespace {

enum class Kind { Method, Property };

struct Member {
    DISPID id;
    const wchar_t* name;
    Kind kind;
    UINT argCount; // methods: arguments; properties: 0
    bool writable; // properties only
};

const Member kMembers[] = {
    {dispid::CheckHealthText, L"CheckHealthText", Kind::Property, 0, false},
    {dispid::FreezeEvents, L"FreezeEvents", Kind::Property, 0, true},
    {dispid::DeviceEnabled, L"DeviceEnabled", Kind::Property, 0, true},
    {dispid::ResultCode, L"ResultCode", Kind::Property, 0, false},
    {dispid::ResultCodeExtended, L"ResultCodeExtended", Kind::Property, 0, false},
    {dispid::State, L"State", Kind::Property, 0, false},
    {dispid::DrawerOpened, L"DrawerOpened", Kind::Property, 0, false},
    {dispid::CheckHealth, L"CheckHealth", Kind::Method, 1, false},
    {dispid::DirectIO, L"DirectIO", Kind::Method, 3, false},
    {dispid::Close, L"Close", Kind::Method, 0, false},
    {dispid::Claim, L"Claim", Kind::Method, 1, false},
    {dispid::Open, L"Open", Kind::Method, 1, false},
    {dispid::ReleaseDevice, L"ReleaseDevice", Kind::Method, 0, false},
    {dispid::OpenDrawer, L"OpenDrawer", Kind::Method, 0, false},
    {dispid::WaitForDrawerClose, L"WaitForDrawerClose", Kind::Method, 4, false},
    {dispid::RetrieveStatistics, L"RetrieveStatistics", Kind::Method, 1, false},
};

const Member* FindMember(DISPID id) {
    for (const Member& m : kMembers) {
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

} // namespace

HRESULT CCashDrawerControl::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) {
        return E_POINTER;
    }
    *pctinfo = 0;
    return S_OK;
}

HRESULT CCashDrawerControl::GetTypeInfo(UINT index, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) {
        *ppTInfo = nullptr;
    }
    return index != 0 ? DISP_E_BADINDEX : E_NOTIMPL;
}

HRESULT CCashDrawerControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return LookUpNames(kMembers, riid, names, count, ids);
}

HRESULT CCashDrawerControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    const Member* member = FindMember(id);
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
        if (member->kind == Kind::Property) {
            if (IsPropertyPut(flags, p)) {
                bool on = false;
                if (!member->writable) {
                    hr = DISP_E_MEMBERNOTFOUND;
                } else if (FAILED(hr = ToBool(p.rgvarg[0], on))) {
                    hr = failArg(0, hr);
                } else if (id == dispid::DeviceEnabled) {
                    SetDeviceEnabled(on);
                } else {
                    SetFreezeEvents(on);
                }
            } else if ((flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0) {
                hr = DISP_E_MEMBERNOTFOUND;
            } else if (p.cArgs != 0) {
                hr = DISP_E_BADPARAMCOUNT;
            } else {
                switch (id) {
                case dispid::CheckHealthText:
                    SetText(result, GetCheckHealthText());
                    break;
                case dispid::FreezeEvents:
                    SetBool(result, GetFreezeEvents());
                    break;
                case dispid::DeviceEnabled:
                    SetBool(result, GetDeviceEnabled());
                    break;
                case dispid::ResultCode:
                    SetLong(result, ResultCode());
                    break;
                case dispid::ResultCodeExtended:
                    SetLong(result, ResultCodeExtended());
                    break;
                case dispid::State:
                    SetLong(result, GetState());
                    break;
                case dispid::DrawerOpened:
                    SetBool(result, GetDrawerOpened());
                    break;
                default:
                    hr = DISP_E_MEMBERNOTFOUND;
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
            long* dataRef = nullptr;
            BSTR* textRef = nullptr;
            std::wstring text;
            // Convert first: a bad argument must not reach the device.
            switch (id) {
            case dispid::Open:
                hr = ToText(ArgAt(p, 0), text);
                if (FAILED(hr)) {
                    hr = failArg(0, hr);
                }
                break;
            case dispid::DirectIO:
                if (FAILED(hr = ToLong(ArgAt(p, 0), a[0]))) {
                    hr = failArg(0, hr);
                } else if (FAILED(hr = LongRef(ArgAt(p, 1), dataRef))) {
                    hr = failArg(1, hr);
                } else if (FAILED(hr = BstrRef(ArgAt(p, 2), textRef))) {
                    hr = failArg(2, hr);
                }
                break;
            case dispid::RetrieveStatistics:
                if (FAILED(hr = BstrRef(ArgAt(p, 0), textRef))) {
                    hr = failArg(0, hr);
                }
                break;
            default:
                for (UINT i = 0; i < member->argCount && SUCCEEDED(hr); ++i) {
                    if (FAILED(hr = ToLong(ArgAt(p, i), a[i]))) {
                        hr = failArg(i, hr);
                    }
                }
            }
            if (SUCCEEDED(hr)) {
                long code = 0;
                switch (id) {
                case dispid::Open:
                    code = Open(text);
                    break;
                case dispid::Close:
                    code = Close();
                    break;
                case dispid::Claim:
                    code = Claim(a[0]);
                    break;
                case dispid::ReleaseDevice:
                    code = ReleaseDevice();
                    break;
                case dispid::CheckHealth:
                    code = CheckHealth(a[0]);
                    break;
                case dispid::DirectIO:
                    code = DirectIO(a[0], dataRef, textRef);
                    break;
                case dispid::OpenDrawer:
                    code = OpenDrawer();
                    break;
                case dispid::WaitForDrawerClose:
                    code = WaitForDrawerClose(a[0], a[1], a[2], a[3]);
                    break;
                case dispid::RetrieveStatistics:
                    code = RetrieveStatistics(textRef);
                    break;
                default:
                    break;
                }
                SetLong(result, code);
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
