// Drawer test from the command line, run as a POS application would: through
// the OPOS CashDrawer Control Object created by its ProgID. Prints each
// step's result code and every status event as it arrives; exits 0 when
// every step passed, 1 when one failed, 2 when the test could not start.
//
//   drawertest [DEVICE_NAME]      (default VX-CDUSB)
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>

#include "ControlObjectIds.h"
#include "DeviceLookup.h"
#include "trace/TraceSettings.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/Variant.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace vtx;
namespace dispid = vtx::co::dispid;

constexpr long kSuccess = 0;
constexpr long kIllegal = 106;
constexpr long kDrawerClosed = 0;
constexpr long kDrawerOpen = 1;
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

// Receives the Control Object's events on this (the application's) thread.
class StatusSink : public IDispatch {
public:
    explicit StatusSink(DWORD appThread) : m_appThread(appThread) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, co::DIID_CashDrawerControlEvents)) {
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
        if (id != co::event_dispid::StatusUpdateEvent || params == nullptr || params->cArgs != 1) {
            return DISP_E_MEMBERNOTFOUND;
        }
        Variant data;
        if (FAILED(VariantChangeType(data.get(), &params->rgvarg[0], 0, VT_I4))) {
            return DISP_E_TYPEMISMATCH;
        }
        long status = V_I4(data.get());
        bool onAppThread = GetCurrentThreadId() == m_appThread;
        const char* meaning = status == kDrawerOpen     ? "drawer open"
                              : status == kDrawerClosed ? "drawer closed"
                                                        : "unknown status";
        Line("  event StatusUpdateEvent(%ld): %s%s", status, meaning,
             onAppThread ? "" : "  -- NOT on the application's thread");
        if (!onAppThread) {
            m_wrongThread = true;
        }
        m_events.push_back(status);
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
    std::vector<long> m_events;
    bool m_wrongThread = false;
};

// Runs this thread's messages (the events arrive through them) until
// `done` holds or the limit passes.
template <class Done> bool PumpUntil(Done done, DWORD limitMs) {
    const ULONGLONG start = GetTickCount64();
    while (!done()) {
        ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= limitMs) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(limitMs - elapsed), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

class ControlObject {
public:
    explicit ControlObject(ComPtr<IDispatch> co) : m_co(std::move(co)) {}

    // Calls a method by DISPID with its arguments in call order.
    HRESULT Invoke(DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                   DISPID* named = nullptr) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), named,
                          static_cast<UINT>(reversed.size()), named ? 1u : 0u};
        return m_co->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
    }
    long Method(DISPID id, std::vector<VARIANT> args = {}) {
        Variant result;
        HRESULT hr = Invoke(id, DISPATCH_METHOD, std::move(args), result.get());
        return Long(hr, result);
    }
    long Property(DISPID id) {
        Variant result;
        HRESULT hr = Invoke(id, DISPATCH_PROPERTYGET, {}, result.get());
        return Long(hr, result);
    }
    std::wstring TextProperty(DISPID id) {
        Variant result;
        if (FAILED(Invoke(id, DISPATCH_PROPERTYGET, {}, result.get())) || V_VT(result.get()) != VT_BSTR) {
            m_callFailed = true;
            return {};
        }
        BSTR text = V_BSTR(result.get());
        return std::wstring(text ? text : L"", text ? SysStringLen(text) : 0u);
    }
    long PutBool(DISPID id, bool value) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BOOL;
        V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
        DISPID put = DISPID_PROPERTYPUT;
        if (FAILED(Invoke(id, DISPATCH_PROPERTYPUT, {v}, nullptr, &put))) {
            m_callFailed = true;
        }
        return Property(dispid::ResultCode);
    }
    DISPID IdOf(const wchar_t* name) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR n = const_cast<LPOLESTR>(name);
        if (FAILED(m_co->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id))) {
            m_callFailed = true;
        }
        return id;
    }
    bool CallFailed() const { return m_callFailed; }
    IDispatch* get() const { return m_co.get(); }

private:
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

VARIANT LongArg(long v) {
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_I4;
    V_I4(&a) = v;
    return a;
}

// Sink connection for the run; disconnects on every way out.
class Connection {
public:
    Connection(IDispatch* co, IDispatch* sink) {
        ComPtr<IConnectionPointContainer> container;
        if (FAILED(co->QueryInterface(IID_IConnectionPointContainer, container.put_void())) ||
            FAILED(container->FindConnectionPoint(co::DIID_CashDrawerControlEvents, m_point.put())) ||
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
    const std::wstring keyPath = std::wstring(co::kCashDrawerClassKey) + L"\\" + entry.deviceKey;
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
    StatusSink sink(GetCurrentThreadId());
    Connection connection(co.get(), &sink);
    if (!connection) {
        Line("cannot connect to the Control Object's events");
        return 2;
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
    VARIANT nameArg;
    VariantInit(&nameArg);
    V_VT(&nameArg) = VT_BSTR;
    V_BSTR(&nameArg) = name.get();
    long code = co.Method(dispid::Open, {nameArg});
    if (!report("Open(\"" + Narrow(device) + "\")", code, code == kSuccess)) {
        Line("drawer test FAILED");
        return 1;
    }

    code = co.Method(co.IdOf(L"Claim"), {LongArg(1000)});
    bool ready = report("Claim(1000)", code, code == kSuccess);
    code = ready ? co.PutBool(dispid::DeviceEnabled, true) : -1;
    ready = ready && report("DeviceEnabled = true", code, code == kSuccess);

    if (ready) {
        const size_t before = sink.EventCount();
        code = co.Method(dispid::OpenDrawer);
        if (report("OpenDrawer", code, code == kSuccess)) {
            if (!PumpUntil([&sink, before] { return sink.Saw(kDrawerOpen, before); }, kEventLimitMs)) {
                Line("  no drawer-open event within %lu ms  FAILED",
                     static_cast<unsigned long>(kEventLimitMs));
                ++failures;
            } else {
                const size_t opened = sink.EventCount();
                if (!PumpUntil([&sink, opened] { return sink.Saw(kDrawerClosed, opened); }, kEventLimitMs)) {
                    Line("  no drawer-closed event within %lu ms  FAILED",
                         static_cast<unsigned long>(kEventLimitMs));
                    ++failures;
                }
            }
        }

        code = co.Method(dispid::CheckHealth, {LongArg(1)});
        std::wstring text = co.TextProperty(dispid::CheckHealthText);
        // A level the service does not support is answered 106 with a text saying so.
        report("CheckHealth(1)", code, code == kSuccess || (code == kIllegal && !text.empty()));
        Line("  CheckHealthText \"%s\"", Narrow(text).c_str());

        BSTR document = nullptr;
        VARIANT docArg;
        VariantInit(&docArg);
        V_VT(&docArg) = VT_BYREF | VT_BSTR;
        V_BSTRREF(&docArg) = &document;
        code = co.Method(dispid::RetrieveStatistics, {docArg});
        Bstr owned = Bstr::Attach(document);
        const bool isDocument = owned.view().starts_with(L"<?xml");
        report("RetrieveStatistics", code, code == kSuccess && isDocument);
        Line("  %s", Narrow(owned.view()).c_str());
    } else {
        Line("(drawer steps skipped: the device is not claimed and enabled)");
    }

    code = co.Method(dispid::ReleaseDevice);
    report("ReleaseDevice", code, code == kSuccess);
    code = co.Method(dispid::Close);
    report("Close", code, code == kSuccess);

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
