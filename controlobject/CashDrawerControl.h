#pragma once
// The Control Object (see ControlObjectIds.h for its contract). Apartment
// threaded: every call, the service's callbacks included, arrives on the
// thread that created it.
#include <windows.h>
#include <ocidl.h>

#include "ServiceCallbacks.h"
#include "ServiceLink.h"
#include "StatusEventPoint.h"

#include <atomic>
#include <string>

namespace vtx::co {

class CCashDrawerControl final : public IDispatch, public IConnectionPointContainer {
public:
    // A new object with one reference on the requested interface.
    static HRESULT Create(REFIID riid, void** ppv);

    // IUnknown (the identity is the IDispatch).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT* argErr) override;
    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // The OPOS members, as Invoke calls them.
    long Open(const std::wstring& deviceName);
    long Close();
    long Claim(long timeout);
    long ReleaseDevice();
    long CheckHealth(long level);
    long DirectIO(long command, long* pData, BSTR* pString);
    long OpenDrawer();
    long WaitForDrawerClose(long beepTimeout, long beepFrequency, long beepDuration, long beepDelay);
    long RetrieveStatistics(BSTR* pStatisticsBuffer);
    long SetDeviceEnabled(bool enabled);
    bool GetDeviceEnabled();
    long SetFreezeEvents(bool freeze);
    bool GetFreezeEvents();
    bool GetDrawerOpened();
    long GetState();
    // A new BSTR, never null.
    BSTR GetCheckHealthText();
    long ResultCode() const { return m_resultCode; }
    long ResultCodeExtended() const { return m_resultCodeExtended; }

    // From the service, on the application's thread.
    void OnStatusUpdate(long data);

private:
    CCashDrawerControl();
    ~CCashDrawerControl();
    CCashDrawerControl(const CCashDrawerControl&) = delete;
    CCashDrawerControl& operator=(const CCashDrawerControl&) = delete;

    bool IsOpen() const { return static_cast<bool>(m_service); }
    long Store(long code);
    // Stores a code the service answered, with its extended code when it has one.
    long StoreServiceCode(long code);
    // A member that returns its result code.
    long ForwardLong(ServiceMember member, std::initializer_list<VARIANT> args);
    // A member without a result: the code is the service's ResultCode after it.
    long ForwardVoid(ServiceMember member, std::initializer_list<VARIANT> args);
    bool ReadFlag(long pidx);
    void ReleaseService();

    // Counts the calls between us and the service in progress. A service
    // closed meanwhile is released once the outermost call into it has
    // returned; a call from it (an event) never releases it, since the
    // service's own frames are still on the stack then.
    class CallScope {
    public:
        enum class Direction { IntoService, FromService };
        CallScope(CCashDrawerControl& owner, Direction direction);
        ~CallScope();
        CallScope(const CallScope&) = delete;
        CallScope& operator=(const CallScope&) = delete;

    private:
        CCashDrawerControl& m_owner;
        Direction m_direction;
    };

    std::atomic<ULONG> m_refs{1};
    CServiceCallbacks m_callbacks{*this};
    CStatusEventPoint m_eventPoint{*this};
    CServiceLink m_service;
    // A service closed while one of its calls was still running.
    ComPtr<IDispatch> m_retired;
    int m_callDepth = 0;
    long m_resultCode = 0;
    long m_resultCodeExtended = 0;
};

} // namespace vtx::co
