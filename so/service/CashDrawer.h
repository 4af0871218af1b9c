#pragma once
// CCashDrawer, the service object. Dispatch methods run on the application's thread; the
// drawer link and the status monitor own what the monitor's thread shares with it.
#include <windows.h>
#include <oaidl.h>

#include "device/DrawerLink.h"
#include "device/StatusMonitor.h"
#include "events/EventInterface.h"
#include "events/EventOwner.h"
#include "service/CashDrawerProperties.h"
#include "service/DispatchTable.h"
#include "trace/TraceLog.h"

#include <array>
#include <atomic>
#include <string>

namespace vtx {

// {4B7D9E21-3A6C-4F08-B5D2-6E1F8A3C9006}: answered with the dispatch interface.
extern const IID IID_ICashDrawerDispatch;
// {4B7D9E21-3A6C-4F08-B5D2-6E1F8A3C9007}: the type library's dispinterface; never answered.
extern const IID IID_ICashDrawerTypeLib;

// The cash drawer service object. The Control Object creates one per opened
// logical device and calls it through IDispatch, always from the thread that
// called OpenService (apartment threading). Every method answers with an OPOS
// result code, stored in ResultCode as well.
class CCashDrawer final : public IEventOwner {
public:
    // Returns a new object with one reference on its IDispatch.
    static HRESULT Create(REFIID riid, void** ppv);

    IDispatch* GetDispatch() { return &m_xDispatch; }
    // The object behind one of our own dispatch pointers, for in-process
    // callers; null for any other object.
    static CCashDrawer* FromDispatch(IDispatch* dispatch);
    ULONG ExternalAddRef() override;
    ULONG ExternalRelease() override;

    // ICashDrawer methods.
    long CheckHealth(long level);
    long Claim(long timeout);
    long Close();
    long COFreezeEvents(bool freeze);
    long CompareFirmwareVersion(BSTR firmwareFileName, long* pResult);
    long DirectIO(long command, long* pData, BSTR* pString);
    long OpenService(BSTR deviceClass, BSTR deviceName, IDispatch* pDispatch);
    long Release();
    long ResetStatistics(BSTR statisticsBuffer);
    long RetrieveStatistics(BSTR* pStatisticsBuffer);
    long UpdateFirmware(BSTR firmwareFileName);
    long UpdateStatistics(BSTR statisticsBuffer);
    long GetPropertyNumber(long propIndex);
    void SetPropertyNumber(long propIndex, long number);
    BSTR GetPropertyString(long propIndex);
    void SetPropertyString(long propIndex, BSTR str);
    void OpenDrawer();
    void WaitForDrawerClose(long beepTimeout, long beepFrequency, long beepDuration, long beepDelay);

    long BindControlObject(IDispatch* pDispatch);
    long EnableDevice(bool enable);

    IDispatch* ControlObject() const override { return m_controlObject; }
    DISPID StatusUpdateDispid() const override { return m_dispidSOStatusUpdate; }
    // The device's trace log; any thread may write to it.
    CTraceLog& Trace() override { return m_trace; }

private:
    // The tests' view of the port, the workers and the event window (tests/support/ServiceObject.h);
    // the product has no use for one.
    friend class CCashDrawerProbe;

    CCashDrawer();
    ~CCashDrawer();
    CCashDrawer(const CCashDrawer&) = delete;
    CCashDrawer& operator=(const CCashDrawer&) = delete;

    void OnFinalRelease();
    long StoreResult(long code) {
        m_properties.StoreResult(code);
        return code;
    }
    void StopStatusMonitor() { m_monitor.Stop(); }
    void StopEventDispatch(DWORD limitMs);
    // Logs one dispatch call with its arguments and result, at level 1 when it failed.
    void TraceCall(const MethodInfo& method, const std::array<ConvertedArg, 4>& args, long code, BSTR text);

    // The IDispatch this object is reached through; its identity is the object's.
    class XDispatch : public IDispatch {
    public:
        explicit XDispatch(CCashDrawer& outer) : m_outer(outer) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
        HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
        HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                DISPID* rgDispId) override;
        HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                         DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                         UINT* puArgErr) override;

    private:
        friend class CCashDrawer;
        CCashDrawer& m_outer;
    };
    friend class XDispatch;

    HRESULT InvokeMethod(DISPID dispid, DISPPARAMS* params, VARIANT* result, UINT* argErr);
    // Calls the typed member behind `dispid` with converted arguments: its
    // code, or for GetPropertyString its text (a new BSTR). False: no such member.
    bool CallMember(DISPID dispid, const std::array<ConvertedArg, 4>& args, long& code, BSTR& text);

    // Keeps the library loaded until every other member is gone.
    struct ModuleLockHolder {
        ModuleLockHolder();
        ~ModuleLockHolder();
    } m_moduleLock;
    std::atomic<ULONG> m_refCount{1};
    // Declared early: the workers and the event window log until they are gone.
    CTraceLog m_trace;
    // The device's faults for the Application log; set up at each Open.
    CDeviceEventLog m_events;
    XDispatch m_xDispatch{*this};

    CCashDrawerProperties m_properties;
    // Only ever written on the application's thread; Close sets it from
    // inside the message pump of a waiting Claim.
    bool m_bAbortClaim = false;
    // Borrowed: the Control Object outlives its service object's use of it.
    IDispatch* m_controlObject = nullptr;
    DISPID m_dispidSODirectIO = DISPID_UNKNOWN;
    DISPID m_dispidSOStatusUpdate = DISPID_UNKNOWN;
    CEventInterface m_eventInterface;
    // The port and its mutex; stores DrawerOpened.
    CDrawerLink m_link{m_trace, m_properties.DrawerOpened};
    // Declared last, so it is stopped before anything it uses goes.
    CStatusMonitor m_monitor{m_link, m_eventInterface, m_trace, m_events, m_properties.PowerState};
};

} // namespace vtx
