#pragma once
// The IDispatch the Control Object hands to its service object's
// OpenService: it answers the service's callbacks ("SOStatusUpdate",
// "SODirectIO", "SOProcessID" and the events a cash drawer never has). The
// service borrows it without a reference, so it lives as long as its Control
// Object; it is called on the application's thread.
#include <windows.h>
#include <oaidl.h>

namespace vtx::co {

class CCashDrawerControl;

class CServiceCallbacks : public IDispatch {
public:
    explicit CServiceCallbacks(CCashDrawerControl& owner) : m_owner(owner) {}
    CServiceCallbacks(const CServiceCallbacks&) = delete;
    CServiceCallbacks& operator=(const CServiceCallbacks&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT* argErr) override;

private:
    CCashDrawerControl& m_owner;
};

} // namespace vtx::co
