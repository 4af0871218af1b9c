// The object's IDispatch: table-driven name lookup and argument conversion,
// then a call of the typed method. No type information is handed out.
#include "service/CashDrawer.h"

#include "service/DispatchTable.h"
#include "com/NameLookup.h"
#include "com/QueryInterface.h"

#include <new>

namespace vtx {

// {4B7D9E21-3A6C-4F08-B5D2-6E1F8A3C9006}
const IID IID_ICashDrawerDispatch = {
    0x4B7D9E21, 0x3A6C, 0x4F08, {0xB5, 0xD2, 0x6E, 0x1F, 0x8A, 0x3C, 0x90, 0x06}};
// {4B7D9E21-3A6C-4F08-B5D2-6E1F8A3C9007}
const IID IID_ICashDrawerTypeLib = {
    0x4B7D9E21, 0x3A6C, 0x4F08, {0xB5, 0xD2, 0x6E, 0x1F, 0x8A, 0x3C, 0x90, 0x07}};

CCashDrawer* CCashDrawer::FromDispatch(IDispatch* dispatch) {
    IDispatch* own = nullptr;
    if (dispatch == nullptr ||
        FAILED(dispatch->QueryInterface(IID_ICashDrawerDispatch, reinterpret_cast<void**>(&own)))) {
        return nullptr;
    }
    // Only this class answers that interface identifier.
    CCashDrawer* object = &static_cast<XDispatch*>(own)->m_outer;
    own->Release();
    return object;
}

HRESULT CCashDrawer::XDispatch::QueryInterface(REFIID riid, void** ppv) {
    return QueryAs(static_cast<IDispatch*>(this), riid, ppv, {IID_IDispatch, IID_ICashDrawerDispatch});
}

ULONG CCashDrawer::XDispatch::AddRef() {
    return m_outer.ExternalAddRef();
}
ULONG CCashDrawer::XDispatch::Release() {
    return m_outer.ExternalRelease();
}

HRESULT CCashDrawer::XDispatch::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) {
        return E_POINTER;
    }
    *pctinfo = 0;
    return S_OK;
}

HRESULT CCashDrawer::XDispatch::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) {
        *ppTInfo = nullptr;
    }
    return iTInfo != 0 ? E_INVALIDARG : E_NOTIMPL;
}

HRESULT CCashDrawer::XDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                              DISPID* rgDispId) {
    // The first name is the method, any further names its parameters, each
    // numbered by its place in the method's list.
    auto parameterId = [](const MethodInfo& method, const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        for (size_t p = 0; p < method.params.size(); ++p) {
            if (SameMemberName(name, method.params[p].name)) {
                id = static_cast<DISPID>(p);
            }
        }
        return id;
    };
    return LookUpNames(CashDrawerMethods(), &MethodInfo::dispid, riid, rgszNames, cNames, rgDispId,
                       parameterId);
}

HRESULT CCashDrawer::XDispatch::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                       DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                       UINT* puArgErr) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if ((wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    CCashDrawer& self = m_outer;
    // Keeps the object alive should the call release the caller's last reference.
    self.ExternalAddRef();
    HRESULT hr;
    try {
        hr = self.InvokeMethod(dispIdMember, pDispParams ? pDispParams : &none, pVarResult, puArgErr);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    self.ExternalRelease();
    return hr;
}

HRESULT CCashDrawer::InvokeMethod(DISPID id, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
    const MethodInfo* method = FindMethod(id);
    if (method == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    std::array<ConvertedArg, 4> a;
    HRESULT hr = ConvertArguments(*method, *params, a, argErr);
    if (FAILED(hr)) {
        return hr;
    }
    long code = 0;
    BSTR text = nullptr;
    if (!CallMember(id, a, code, text)) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (m_trace.On(kTraceFailures)) {
        TraceCall(*method, a, code, text);
    }
    if (result == nullptr) {
        SysFreeString(text);
        return S_OK;
    }
    VariantInit(result);
    if (method->result == ResultType::Long) {
        V_VT(result) = VT_I4;
        V_I4(result) = code;
    } else if (method->result == ResultType::Bstr) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = text;
    }
    return S_OK;
}

bool CCashDrawer::CallMember(DISPID id, const std::array<ConvertedArg, 4>& a, long& code, BSTR& text) {
    auto lng = [&a](int i) { return V_I4(a[static_cast<size_t>(i)].value.get()); };
    auto str = [&a](int i) { return V_BSTR(a[static_cast<size_t>(i)].value.get()); };
    switch (id) {
    case so_dispid::CheckHealth:
        code = CheckHealth(lng(0));
        break;
    case so_dispid::Claim:
        code = Claim(lng(0));
        break;
    case so_dispid::Close:
        code = Close();
        break;
    case so_dispid::COFreezeEvents:
        code = COFreezeEvents(lng(0) == 1);
        break;
    case so_dispid::CompareFirmwareVersion:
        code = CompareFirmwareVersion(str(0), a[1].longRef);
        break;
    case so_dispid::DirectIO:
        code = DirectIO(lng(0), a[1].longRef, a[2].bstrRef);
        break;
    case so_dispid::OpenService:
        code = OpenService(str(0), str(1), a[2].dispatch);
        break;
    case so_dispid::Release:
        code = Release();
        break;
    case so_dispid::ResetStatistics:
        code = ResetStatistics(str(0));
        break;
    case so_dispid::RetrieveStatistics:
        code = RetrieveStatistics(a[0].bstrRef);
        break;
    case so_dispid::UpdateFirmware:
        code = UpdateFirmware(str(0));
        break;
    case so_dispid::UpdateStatistics:
        code = UpdateStatistics(str(0));
        break;
    case so_dispid::GetPropertyNumber:
        code = GetPropertyNumber(lng(0));
        break;
    case so_dispid::SetPropertyNumber:
        SetPropertyNumber(lng(0), lng(1));
        break;
    case so_dispid::GetPropertyString:
        text = GetPropertyString(lng(0));
        break;
    case so_dispid::SetPropertyString:
        SetPropertyString(lng(0), str(1));
        break;
    case so_dispid::OpenDrawer:
        OpenDrawer();
        break;
    case so_dispid::WaitForDrawerClose:
        WaitForDrawerClose(lng(0), lng(1), lng(2), lng(3));
        break;
    default:
        return false;
    }
    return true;
}

} // namespace vtx
