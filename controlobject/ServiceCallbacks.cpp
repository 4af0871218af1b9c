// The IDispatch the Control Object hands its service object for the two callbacks.
#include "ServiceCallbacks.h"

#include "CashDrawerControl.h"
#include "ControlObjectIds.h"
#include "DeferredRelease.h"
#include "DispatchArgs.h"

#include <new>

namespace vtx::co {

HRESULT CServiceCallbacks::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG CServiceCallbacks::AddRef() {
    return m_owner.AddRef();
}
ULONG CServiceCallbacks::Release() {
    return m_owner.Release();
}

HRESULT CServiceCallbacks::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) {
        return E_POINTER;
    }
    *pctinfo = 0;
    return S_OK;
}

HRESULT CServiceCallbacks::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) {
        *ppTInfo = nullptr;
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT CServiceCallbacks::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    struct Callback {
        const wchar_t* name;
        DISPID id;
    };
    static constexpr Callback kCallbacks[] = {
        {L"SODirectIO", callback_dispid::SODirectIO},
        {L"SOStatusUpdate", callback_dispid::SOStatusUpdate},
    };
    return LookUpNames(kCallbacks, riid, names, count, ids);
}

HRESULT CServiceCallbacks::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (id != callback_dispid::SODirectIO && id != callback_dispid::SOStatusUpdate) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if ((flags & DISPATCH_METHOD) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (result != nullptr) {
        VariantInit(result);
    }
    if (id == callback_dispid::SODirectIO) {
        return S_OK; // no DirectIO events are offered
    }
    if (params == nullptr || params->cArgs != 1 || params->rgvarg == nullptr) {
        return DISP_E_BADPARAMCOUNT;
    }
    if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    long data = 0;
    HRESULT hr = ToLong(ArgAt(*params, 0), data);
    if (FAILED(hr)) {
        if (argErr != nullptr) {
            *argErr = 0;
        }
        return hr;
    }
    // The handler may release the application's last reference to us; the
    // service's release then waits until this call has returned to it.
    ServiceCallGuard guard;
    try {
        m_owner.OnStatusUpdate(data);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
    return S_OK;
}

} // namespace vtx::co
