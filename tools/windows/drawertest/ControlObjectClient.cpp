// drawertest's client of the Control Object: finding its events, receiving them, creating it.
// The application's thread only; the sink checks that the events keep to it.
#include "ControlObjectClient.h"

#include "ControlObjectIds.h" // the ProgID only: the object may be anyone's
#include "opos/OposConstants.h"

#include <new>

namespace vtx::drawertest {

bool FindByClassInfo(IDispatch* co, EventSource& out) {
    ComPtr<IProvideClassInfo> provider;
    ComPtr<ITypeInfo> coclass;
    TYPEATTR* attr = nullptr;
    if (FAILED(co->QueryInterface(IID_IProvideClassInfo, provider.put_void())) ||
        FAILED(provider->GetClassInfo(coclass.put())) || FAILED(coclass->GetTypeAttr(&attr))) {
        return false;
    }
    const UINT implemented = attr->cImplTypes;
    coclass->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < implemented; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> source;
        const INT wanted = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) || (flags & wanted) != wanted ||
            FAILED(coclass->GetRefTypeOfImplType(i, &ref)) ||
            FAILED(coclass->GetRefTypeInfo(ref, source.put())) || FAILED(source->GetTypeAttr(&attr))) {
            continue;
        }
        out.iid = attr->guid;
        source->ReleaseTypeAttr(attr);
        out.info = std::move(source);
        out.foundBy = "the coclass's default source";
        return true;
    }
    return false;
}

bool FindByConnectionPoints(IDispatch* co, EventSource& out) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IEnumConnectionPoints> points;
    if (FAILED(co->QueryInterface(IID_IConnectionPointContainer, container.put_void())) ||
        FAILED(container->EnumConnectionPoints(points.put()))) {
        return false;
    }
    IConnectionPoint* raw = nullptr;
    while (points->Next(1, &raw, nullptr) == S_OK) {
        ComPtr<IConnectionPoint> point = ComPtr<IConnectionPoint>::Attach(raw);
        IID iid{};
        if (FAILED(point->GetConnectionInterface(&iid)) || IsEqualIID(iid, IID_IPropertyNotifySink)) {
            continue;
        }
        out.iid = iid;
        out.foundBy = "the object's connection points";
        UINT count = 0;
        ComPtr<ITypeInfo> own;
        ComPtr<ITypeLib> library;
        UINT index = 0;
        if (SUCCEEDED(co->GetTypeInfoCount(&count)) && count > 0 &&
            SUCCEEDED(co->GetTypeInfo(0, LOCALE_USER_DEFAULT, own.put())) &&
            SUCCEEDED(own->GetContainingTypeLib(library.put(), &index))) {
            library->GetTypeInfoOfGuid(iid, out.info.put());
        }
        return true;
    }
    return false;
}

HRESULT StatusSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    if ((m_statusId != DISPID_UNKNOWN && id != m_statusId) || params == nullptr || params->cArgs != 1 ||
        params->rgvarg == nullptr) {
        return DISP_E_MEMBERNOTFOUND; // another event: none of ours
    }
    Variant data;
    if (FAILED(VariantChangeType(data.get(), &params->rgvarg[0], 0, VT_I4))) {
        return DISP_E_TYPEMISMATCH;
    }
    long status = V_I4(data.get());
    bool onAppThread = GetCurrentThreadId() == m_appThread;
    const char* meaning = status == opos::CASH_SUE_DRAWEROPEN     ? "drawer open"
                          : status == opos::CASH_SUE_DRAWERCLOSED ? "drawer closed"
                                                                  : "unknown status";
    Line("  event StatusUpdateEvent(%ld): %s%s", status, meaning,
         onAppThread ? "" : "  -- NOT on the application's thread");
    if (!onAppThread) {
        m_wrongThread = true;
    }
    try {
        m_events.push_back(status);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY; // nothing may leave a COM call as an exception
    }
    return S_OK;
}

HRESULT CreateControlObject(ComPtr<IDispatch>& created) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(co::kProgId, &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, created.put_void());
    }
    return hr;
}

} // namespace vtx::drawertest
