// The IDispatch the Control Object hands its service object for its callbacks.
// Called by the service on the application's thread.
#include "ServiceCallbacks.h"

#include "CashDrawerControl.h"
#include "ControlObjectIds.h"
#include "DeferredRelease.h"
#include "com/ArgConversion.h"
#include "com/NameLookup.h"
#include "com/QueryInterface.h"

#include <new>

namespace vtx::co {

HRESULT CServiceCallbacks::QueryInterface(REFIID riid, void** ppv) {
    return QueryAs(static_cast<IDispatch*>(this), riid, ppv, {IID_IDispatch});
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
        {L"SOData", callback_dispid::SOData},
        {L"SOError", callback_dispid::SOError},
        {L"SOOutputComplete", callback_dispid::SOOutputComplete},
        {L"SOProcessID", callback_dispid::SOProcessID},
        {L"SOOutputCompleteEvent", callback_dispid::SOOutputCompleteEvent},
    };
    return LookUpNames(kCallbacks, &Callback::id, riid, names, count, ids);
}

HRESULT CServiceCallbacks::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (id < callback_dispid::SODirectIO || id > callback_dispid::SOOutputCompleteEvent ||
        (flags & DISPATCH_METHOD) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (result != nullptr) {
        VariantInit(result);
    }
    if (id == callback_dispid::SOProcessID) {
        SetLong(result, static_cast<long>(GetCurrentProcessId()));
        return S_OK;
    }
    if (id != callback_dispid::SODirectIO && id != callback_dispid::SOStatusUpdate) {
        return S_OK; // events a cash drawer never has: nothing to tell the application
    }
    const UINT expected = id == callback_dispid::SODirectIO ? 3 : 1;
    if (params == nullptr || params->cArgs != expected || params->rgvarg == nullptr) {
        return DISP_E_BADPARAMCOUNT;
    }
    if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    auto failArg = [argErr, expected](UINT index, HRESULT hr) {
        if (argErr != nullptr) {
            *argErr = expected - 1 - index;
        }
        return hr;
    };
    long number = 0;
    HRESULT hr = ToLong(ArgAt(*params, 0), number);
    if (FAILED(hr)) {
        return failArg(0, hr);
    }
    // The service's data and text, for the sinks to change in place.
    LongByRef data;
    TextByRef text;
    if (id == callback_dispid::SODirectIO) {
        if (FAILED(hr = data.Bind(ArgAt(*params, 1)))) {
            return failArg(1, hr);
        }
        if (FAILED(hr = text.Bind(ArgAt(*params, 2)))) {
            return failArg(2, hr);
        }
    }
    // A handler may release the application's last reference to us; the
    // service's release then waits until this call has returned to it.
    ServiceCallGuard guard;
    try {
        if (id == callback_dispid::SOStatusUpdate) {
            m_owner.OnStatusUpdate(number);
            return S_OK;
        }
        m_owner.OnDirectIO(number, data.get(), text.get());
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_UNEXPECTED;
    }
    // What the sinks left goes back to the service, even after a failure.
    text.WriteBack();
    HRESULT written = data.WriteBack();
    return FAILED(hr) ? hr : FAILED(written) ? failArg(1, written) : S_OK;
}

} // namespace vtx::co
