// Drawer test from the command line, run as a POS application would: through
// whatever OPOS CashDrawer Control Object is registered under the ProgID,
// ours or another maker's, by member names only. Prints each step's result
// code and every status event as it arrives; exits 0 when every step passed,
// 1 when one failed, 2 when the test could not start. One thread: the events
// arrive on it, through its message loop.
//
// The events are found as a client that knows no IID must find them: the
// default source interface of the object's coclass (IProvideClassInfo), or
// else the first connection point the object enumerates. StatusUpdateEvent
// is known by its name in that interface's type information; without any,
// every event that carries one number is taken for it. A Control Object
// without events still gets the drawer steps, watched through DrawerOpened.
//
//   drawertest [DEVICE_NAME]      (default VX-CDUSB)
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>

#include "ControlObjectIds.h" // the ProgID only: the object may be anyone's
#include "DeviceLookup.h"
#include "opos/OposConstants.h"
#include "trace/TraceSettings.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/Invoke.h"
#include "com/Variant.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace vtx;

// Generous: the drawer is polled every 1.5 s and closes itself after a while.
constexpr DWORD kEventLimitMs = 20000;

void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Narrow(std::wstring_view text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                            nullptr, nullptr);
    }
    return out;
}

std::string GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

// Where the Control Object's events come from.
struct EventSource {
    IID iid = IID_NULL;
    ComPtr<ITypeInfo> info; // the source interface's type information, when there is some
    const char* foundBy = "";
};

// The default source interface of the object's coclass.
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

// The first connection point the object offers (property change
// notifications aside), described by the object's own type library if it
// has one.
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
                                     UINT*) override {
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
// a `done` that polls the object.
template <class Done> bool PumpUntil(Done done, DWORD limitMs) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= limitMs) {
            return false;
        }
        const ULONGLONG wait = std::min<ULONGLONG>(limitMs - elapsed, 100);
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
    long PutBool(const wchar_t* name, bool value) {
        if (FAILED(Invoke(name, DISPATCH_PROPERTYPUT, {BoolVariant(value)}, nullptr))) {
            m_callFailed = true;
        }
        return Property(L"ResultCode");
    }
    bool CallFailed() const { return m_callFailed; }
    IDispatch* get() const { return m_co.get(); }

private:
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

// A support engineer who switched tracing on wants to know where to look.
void SayWhereTheTraceIs(const std::wstring& device) {
    co::DeviceEntry entry;
    if (co::FindDevice(device, entry) != co::LookupResult::Found) {
        return;
    }
    const std::wstring keyPath = std::wstring(opos::kCashDrawerClassKey) + L"\\" + entry.deviceKey;
    TraceSettings trace = ReadTraceSettings(keyPath, entry.deviceKey);
    if (trace.level > kTraceOff) {
        Line("tracing at level %d to %s", trace.level, Narrow(trace.file.c_str()).c_str());
    }
}

int Run(const std::wstring& device) {
    SayWhereTheTraceIs(device);
    CLSID clsid;
    ComPtr<IDispatch> created;
    HRESULT hr = CLSIDFromProgID(co::kProgId, &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, created.put_void());
    }
    if (FAILED(hr)) {
        Line("cannot create the Control Object \"%s\": 0x%08lX (is it registered?)",
             Narrow(co::kProgId).c_str(), static_cast<unsigned long>(hr));
        return 2;
    }
    ControlObject co(std::move(created));
    EventSource source;
    DISPID statusId = DISPID_UNKNOWN;
    const bool found = FindByClassInfo(co.get(), source) || FindByConnectionPoints(co.get(), source);
    if (found && source.info) {
        LPOLESTR name = const_cast<LPOLESTR>(L"StatusUpdateEvent");
        if (FAILED(source.info->GetIDsOfNames(&name, 1, &statusId))) {
            statusId = DISPID_UNKNOWN;
        }
    }
    StatusSink sink(GetCurrentThreadId(), source.iid, statusId);
    Connection connection(co.get(), source.iid, &sink);
    const bool withEvents = found && connection;
    if (!withEvents) {
        Line("events are not available from this Control Object: the drawer is watched through DrawerOpened");
    } else if (statusId != DISPID_UNKNOWN) {
        Line("events %s through %s, StatusUpdateEvent as DISPID %ld", GuidText(source.iid).c_str(),
             source.foundBy, static_cast<long>(statusId));
    } else {
        Line("events %s through %s, without type information: every event with one number is taken as "
             "StatusUpdateEvent",
             GuidText(source.iid).c_str(), source.foundBy);
    }

    int failures = 0;
    auto report = [&failures](const std::string& step, long code, bool passed) {
        Line("%-28s ResultCode %ld%s", step.c_str(), code, passed ? "" : "  FAILED");
        if (!passed) {
            ++failures;
        }
        return passed;
    };

    Bstr name(device);
    long code = co.Method(L"Open", {BstrVariant(name.get())});
    if (!report("Open(\"" + Narrow(device) + "\")", code, code == opos::OPOS_SUCCESS)) {
        Line("drawer test FAILED");
        return 1;
    }

    // ClaimDevice, or Claim in a Control Object older than it.
    const wchar_t* claim = co.Has(L"ClaimDevice") ? L"ClaimDevice" : L"Claim";
    code = co.Method(claim, {LongVariant(1000)});
    bool ready = report(Narrow(claim) + "(1000)", code, code == opos::OPOS_SUCCESS);
    code = ready ? co.PutBool(L"DeviceEnabled", true) : -1;
    ready = ready && report("DeviceEnabled = true", code, code == opos::OPOS_SUCCESS);

    if (ready) {
        const size_t before = sink.EventCount();
        code = co.Method(L"OpenDrawer");
        if (report("OpenDrawer", code, code == opos::OPOS_SUCCESS)) {
            // Opened, then closed (the cashier's part): by the events, or by DrawerOpened.
            auto opened = [&] {
                return withEvents ? sink.Saw(opos::CASH_SUE_DRAWEROPEN, before)
                                  : co.FlagProperty(L"DrawerOpened");
            };
            if (!PumpUntil(opened, kEventLimitMs)) {
                Line("  the drawer was not seen open within %lu ms  FAILED",
                     static_cast<unsigned long>(kEventLimitMs));
                ++failures;
            } else {
                const size_t open = sink.EventCount();
                auto closed = [&] {
                    return withEvents ? sink.Saw(opos::CASH_SUE_DRAWERCLOSED, open)
                                      : !co.FlagProperty(L"DrawerOpened");
                };
                if (!PumpUntil(closed, kEventLimitMs)) {
                    Line("  the drawer was not seen closed within %lu ms  FAILED",
                         static_cast<unsigned long>(kEventLimitMs));
                    ++failures;
                }
            }
        }

        code = co.Method(L"CheckHealth", {LongVariant(opos::OPOS_CH_INTERNAL)});
        std::wstring text = co.TextProperty(L"CheckHealthText");
        // A level the service does not support is answered 106 with a text saying so.
        report("CheckHealth(1)", code,
               code == opos::OPOS_SUCCESS || (code == opos::OPOS_E_ILLEGAL && !text.empty()));
        Line("  CheckHealthText \"%s\"", Narrow(text).c_str());

        BSTR document = nullptr;
        code = co.Method(L"RetrieveStatistics", {BstrRefVariant(&document)});
        Bstr owned = Bstr::Attach(document);
        const bool isDocument = owned.view().starts_with(L"<?xml");
        report("RetrieveStatistics", code, code == opos::OPOS_SUCCESS && isDocument);
        Line("  %s", Narrow(owned.view()).c_str());
    } else {
        Line("(drawer steps skipped: the device is not claimed and enabled)");
    }

    code = co.Method(L"ReleaseDevice");
    report("ReleaseDevice", code, code == opos::OPOS_SUCCESS);
    code = co.Method(L"Close");
    report("Close", code, code == opos::OPOS_SUCCESS);

    if (sink.CameOnWrongThread()) {
        Line("status events arrived on another thread  FAILED");
        ++failures;
    }
    if (co.CallFailed()) {
        ++failures;
    }
    Line("%s", failures == 0 ? "drawer test passed" : "drawer test FAILED");
    return failures == 0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: drawertest [DEVICE_NAME]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "drawertest: COM could not be initialised\n");
        return 2;
    }
    int rc = Run(argc == 2 ? argv[1] : L"VX-CDUSB");
    CoUninitialize();
    return rc;
}
