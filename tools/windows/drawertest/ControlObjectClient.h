#pragma once
// drawertest's client of the Control Object: creating it by its ProgID, calling its members by
// name, finding its events and receiving them. All of it belongs to the application's thread,
// which pumps the messages the events arrive through.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>

#include "Console.h"
#include "com/ComPtr.h"
#include "com/Invoke.h"
#include "com/Variant.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace vtx::drawertest {

// Where the Control Object's events come from.
struct EventSource {
    IID iid = IID_NULL;
    ComPtr<ITypeInfo> info; // the source interface's type information, when there is some
    const char* foundBy = "";
};

// The default source interface of the object's coclass.
bool FindByClassInfo(IDispatch* co, EventSource& out);
// The first connection point the object offers (property change
// notifications aside), described by the object's own type library if it
// has one.
bool FindByConnectionPoints(IDispatch* co, EventSource& out);

// Receives the Control Object's events on this (the application's) thread,
// under the IID it found them by.
class StatusSink : public IDispatch {
public:
    // statusId DISPID_UNKNOWN: any event with one number is a status update.
    StatusSink(DWORD appThread, const IID& events, DISPID statusId)
        : m_appThread(appThread), m_interface(events), m_statusId(statusId) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, m_interface)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of Run, which outlasts every connection.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

    size_t EventCount() const { return m_events.size(); }
    // Whether `status` arrived as event number `from` or later.
    bool Saw(long status, size_t from) const {
        return std::find(m_events.begin() + static_cast<std::ptrdiff_t>(from), m_events.end(), status) !=
               m_events.end();
    }
    bool CameOnWrongThread() const { return m_wrongThread; }

private:
    DWORD m_appThread;
    IID m_interface;
    DISPID m_statusId;
    std::vector<long> m_events;
    bool m_wrongThread = false;
};

// Runs this thread's messages (the events arrive through them) until
// `done` holds or the limit passes; looks again at least every 100 ms, for
// a `done` that polls the object (every stepMs).
template <class Done> bool PumpUntil(Done done, DWORD limitMs, DWORD stepMs = 100) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= limitMs) {
            return false;
        }
        const ULONGLONG wait = std::min<ULONGLONG>(limitMs - elapsed, stepMs);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// The Control Object, every member reached by its name: another maker's
// numbers its members as it likes.
class ControlObject {
public:
    explicit ControlObject(ComPtr<IDispatch> co) : m_co(std::move(co)) {}

    // Whether the object knows the member.
    bool Has(const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR n = const_cast<LPOLESTR>(name);
        return SUCCEEDED(m_co->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id));
    }
    long Method(const wchar_t* name, std::vector<VARIANT> args = {}) {
        Variant result;
        HRESULT hr = Invoke(name, DISPATCH_METHOD, std::move(args), result.get());
        return Long(hr, result);
    }
    long Property(const wchar_t* name) {
        Variant result;
        HRESULT hr = Invoke(name, DISPATCH_PROPERTYGET, {}, result.get());
        return Long(hr, result);
    }
    bool FlagProperty(const wchar_t* name) {
        Variant result;
        if (FAILED(Invoke(name, DISPATCH_PROPERTYGET, {}, result.get())) ||
            FAILED(VariantChangeType(result.get(), result.get(), 0, VT_BOOL))) {
            m_callFailed = true;
            return false;
        }
        return V_BOOL(result.get()) != VARIANT_FALSE;
    }
    std::wstring TextProperty(const wchar_t* name) {
        Variant result;
        if (FAILED(Invoke(name, DISPATCH_PROPERTYGET, {}, result.get())) || V_VT(result.get()) != VT_BSTR) {
            m_callFailed = true;
            return {};
        }
        BSTR text = V_BSTR(result.get());
        return std::wstring(text ? text : L"", text ? SysStringLen(text) : 0u);
    }
    long PutBool(const wchar_t* name, bool value) { return Put(name, BoolVariant(value)); }
    long PutLong(const wchar_t* name, long value) { return Put(name, LongVariant(value)); }
    bool CallFailed() const { return m_callFailed; }
    IDispatch* get() const { return m_co.get(); }

private:
    long Put(const wchar_t* name, VARIANT value) {
        if (FAILED(Invoke(name, DISPATCH_PROPERTYPUT, {value}, nullptr))) {
            m_callFailed = true;
        }
        return Property(L"ResultCode");
    }
    // Calls a member by name with its arguments in call order.
    HRESULT Invoke(const wchar_t* name, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR n = const_cast<LPOLESTR>(name);
        HRESULT hr = m_co->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr)) {
            Line("    (the Control Object has no member %s: 0x%08lX)", Narrow(name).c_str(),
                 static_cast<unsigned long>(hr));
            return hr;
        }
        return InvokeByDispid(m_co.get(), id, flags, args, result);
    }
    long Long(HRESULT hr, Variant& result) {
        if (FAILED(hr) || V_VT(result.get()) != VT_I4) {
            Line("    (the call itself failed: 0x%08lX)", static_cast<unsigned long>(hr));
            m_callFailed = true;
            return -1;
        }
        return V_I4(result.get());
    }

    ComPtr<IDispatch> m_co;
    bool m_callFailed = false;
};

// Sink connection for the run; disconnects on every way out.
class Connection {
public:
    Connection(IDispatch* co, const IID& events, IDispatch* sink) {
        ComPtr<IConnectionPointContainer> container;
        if (FAILED(co->QueryInterface(IID_IConnectionPointContainer, container.put_void())) ||
            FAILED(container->FindConnectionPoint(events, m_point.put())) ||
            FAILED(m_point->Advise(sink, &m_cookie))) {
            m_point.reset();
        }
    }
    ~Connection() {
        if (m_point) {
            m_point->Unadvise(m_cookie);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    explicit operator bool() const { return static_cast<bool>(m_point); }

private:
    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
};

// Whatever Control Object is registered under the ProgID, ours or another maker's.
HRESULT CreateControlObject(ComPtr<IDispatch>& created);

} // namespace vtx::drawertest
