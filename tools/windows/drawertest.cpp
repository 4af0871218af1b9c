// Drawer test from the command line, run as a POS application would: through
// whatever OPOS CashDrawer Control Object is registered under the ProgID,
// ours or another maker's, by member names only. Prints each step's result
// code and every status event as it arrives; exits 0 when every step passed,
// 1 when one failed, 2 when the test could not start. One thread: the events
// arrive on it, through its message loop.
//
// With --check it is the health probe a monitoring job runs instead: it never
// claims the device and never sends the open command, only enables it with
// PowerNotify on and waits for the first PowerState the drawer's answer (or
// silence) gives. Its exit code and last line say what it found (CheckCode);
// a watchdog thread, which touches nothing but the result, ends it within 5 s.
//
// The events are found as a client that knows no IID must find them: the
// default source interface of the object's coclass (IProvideClassInfo), or
// else the first connection point the object enumerates. StatusUpdateEvent
// is known by its name in that interface's type information; without any,
// every event that carries one number is taken for it. A Control Object
// without events still gets the drawer steps, watched through DrawerOpened.
//
//   drawertest [DEVICE_NAME]                   (default VX-CDUSB)
//   drawertest --check [DEVICE_NAME] [--json]
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>

#include "ControlObjectIds.h" // the ProgID only: the object may be anyone's
#include "DeviceLookup.h"
#include "device/PortNumber.h" // names the port as the service object does
#include "opos/OposConstants.h"
#include "trace/TraceSettings.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/Invoke.h"
#include "com/Variant.h"
#include "win32/SrwLock.h"
#include "win32/UniqueHandle.h"
#include "win32/UniqueRegKey.h"

#include <algorithm>
#include <atomic>
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

// The probe's --json output is its one line: the steps are not printed then.
bool g_quiet = false;

void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
    if (g_quiet) {
        return;
    }
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
HRESULT CreateControlObject(ComPtr<IDispatch>& created) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(co::kProgId, &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, created.put_void());
    }
    return hr;
}

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
    ComPtr<IDispatch> created;
    HRESULT hr = CreateControlObject(created);
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

// ---- The health probe (--check) ----

// What the probe found: its exit code.
enum CheckCode : int { kAnswered = 0, kDrawerFault = 1, kNotConfigured = 2, kPortInUse = 3 };

// The whole check, watchdog included; the answer must come well before it.
constexpr DWORD kCheckLimitMs = 5000;
constexpr DWORD kWatchdogMs = 4500;
constexpr DWORD kAnswerDeadlineMs = 3000;

// Text from the registry or the command line, made fit for one line of a console:
// at most 128 characters, control characters as '?'.
std::string Field(std::wstring_view text) {
    std::wstring shown(text.substr(0, 128));
    for (wchar_t& c : shown) {
        if (c < L' ' || c == 0x7F) {
            c = L'?';
        }
    }
    return Narrow(shown);
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// An OPOS version number (major * 1000000 + minor * 1000 + build) as "1.12.1"; empty for none.
std::string VersionText(long version) {
    if (version <= 0) {
        return {};
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%ld.%ld.%ld", version / 1000000, version / 1000 % 1000,
                  version % 1000);
    return text;
}

struct CheckResult {
    CheckCode code = kDrawerFault;
    std::string detail;
    const char* drawer = "unknown";
    long answerMs = -1;
};

// What every summary carries besides the verdict. Written by the probe's thread before the
// watchdog may read it, under the same lock as the result.
struct CheckFacts {
    std::string device;
    std::string port;
    long coVersion = 0;
    long soVersion = 0;
};

// The verdict as the JSON object and as the summary line name it, by exit code.
constexpr const char* kStatusWords[][2] = {
    {"ok", "OK"}, {"fault", "FAULT"}, {"not-configured", "NOT CONFIGURED"}, {"port-in-use", "PORT IN USE"}};

// The last line: one summary, or one JSON object. Bounded by the fields' caps (under 1,000 characters).
std::string SummaryLine(const CheckFacts& facts, const CheckResult& result, bool json) {
    const int bits = static_cast<int>(sizeof(void*) * 8);
    const std::string co = VersionText(facts.coVersion);
    const std::string so = VersionText(facts.soVersion);
    if (json) {
        auto orNull = [](const std::string& text) {
            return text.empty() ? std::string("null") : JsonText(text);
        };
        return "{\"device\":" + JsonText(facts.device) +
               ",\"status\":" + JsonText(kStatusWords[result.code][0]) +
               ",\"exitCode\":" + std::to_string(result.code) + ",\"drawer\":" + JsonText(result.drawer) +
               ",\"port\":" + orNull(facts.port) +
               ",\"answerMs\":" + (result.answerMs >= 0 ? std::to_string(result.answerMs) : "null") +
               ",\"controlObjectVersion\":" + orNull(co) + ",\"serviceObjectVersion\":" + orNull(so) +
               ",\"bitness\":" + std::to_string(bits) + ",\"detail\":" + JsonText(result.detail) + "}";
    }
    return facts.device + " " + kStatusWords[result.code][1] + ": " + result.detail + " (port " +
           (facts.port.empty() ? "none" : facts.port) + ", Control Object " + (co.empty() ? "none" : co) +
           ", service object " + (so.empty() ? "none" : so) + ", " + std::to_string(bits) + "-bit)";
}

// The probe's result and its one printing. The watchdog prints whatever was decided (or that the
// check ran out of time) and ends the process, when the probe's thread is stuck in a call.
class CheckReport {
public:
    explicit CheckReport(bool json) : m_json(json), m_start(GetTickCount64()) {
        m_thread.reset(CreateThread(nullptr, 0, &CheckReport::Watchdog, this, 0, nullptr));
    }
    ~CheckReport() {
        SetEvent(m_done.get());
        if (m_thread) {
            WaitForSingleObject(m_thread.get(), INFINITE);
        }
    }
    CheckReport(const CheckReport&) = delete;
    CheckReport& operator=(const CheckReport&) = delete;

    // What the probe is doing, for a summary written by the watchdog.
    void Step(const char* step) { m_step = step; }
    DWORD ElapsedMs() const { return static_cast<DWORD>(GetTickCount64() - m_start); }
    void SetFacts(const CheckFacts& facts) {
        SrwExclusive lock(m_lock);
        m_facts = facts;
    }
    void Decide(CheckCode code, std::string detail, const char* drawer = "unknown", long answerMs = -1) {
        SrwExclusive lock(m_lock);
        m_result = {code, std::move(detail), drawer, answerMs};
        m_decided = true;
    }
    // Prints the last line once; the exit code.
    int Print() {
        SrwExclusive lock(m_lock);
        if (!m_printed) {
            std::printf("%s\n", SummaryLine(m_facts, m_result, m_json).c_str());
            std::fflush(stdout);
            m_printed = true;
        }
        return m_result.code;
    }

private:
    static DWORD WINAPI Watchdog(LPVOID param) {
        auto* self = static_cast<CheckReport*>(param);
        if (WaitForSingleObject(self->m_done.get(), kWatchdogMs) != WAIT_TIMEOUT) {
            return 0;
        }
        {
            SrwExclusive lock(self->m_lock);
            if (!self->m_decided) {
                self->m_result = {kDrawerFault, std::string("no result within ") +
                                                    std::to_string(kCheckLimitMs) + " ms (stuck " +
                                                    self->m_step.load() + ")"};
            }
        }
        const int code = self->Print();
        // The probe's thread is inside a call that does not return: nothing may wait for it.
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
        return 0;
    }

    const bool m_json;
    const ULONGLONG m_start;
    std::atomic<const char*> m_step{"starting"};
    SRWLOCK m_lock = SRWLOCK_INIT;
    CheckFacts m_facts;
    CheckResult m_result;
    bool m_decided = false;
    bool m_printed = false;
    UniqueHandle m_done = CreateManualResetEvent();
    UniqueHandle m_thread;
};

// The device key's "Port", found as the Control Object finds the device; empty when there is none.
std::wstring ConfiguredPort(const std::wstring& device) {
    co::DeviceEntry entry;
    UniqueRegKey key;
    std::wstring port;
    if (co::FindDevice(device, entry) == co::LookupResult::Found &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      (std::wstring(opos::kCashDrawerClassKey) + L"\\" + entry.deviceKey).c_str(), 0,
                      KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS) {
        co::ReadText(key.get(), L"Port", port);
    }
    return port;
}

// Enabling failed: asks Windows why, with the open the service object makes (exclusive, the port
// as it names it). The handle, when the port opens after all, is closed at once, unwritten.
void JudgeEnableFailure(CheckReport& report, const std::wstring& port, long enableCode) {
    const std::string code = "ResultCode " + std::to_string(enableCode);
    if (enableCode == opos::OPOS_E_NOTCLAIMED) {
        report.Decide(kNotConfigured, "the service object enables only a claimed device (" + code +
                                          "), and the probe never claims");
        return;
    }
    if (port.empty()) {
        report.Decide(kNotConfigured, "no port is set for the device (" + code + ")");
        return;
    }
    const long number = ParsePortNumber(port);
    if (number < 1 || number > 255) {
        report.Decide(kNotConfigured, "\"Port\" names no COM port (" + code + ")");
        return;
    }
    const std::string com = "COM" + std::to_string(number);
    wchar_t path[32];
    swprintf(path, sizeof(path) / sizeof(path[0]), L"\\\\.\\COM%ld", number);
    UniqueFileHandle handle(
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const DWORD error = handle ? ERROR_SUCCESS : GetLastError();
    handle.reset();
    const std::string windows = " (Windows error " + std::to_string(error) + ", " + code + ")";
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        report.Decide(kDrawerFault, com + " is missing" + windows);
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        report.Decide(kPortInUse,
                      com + " is in use by another program, so the drawer was not asked" + windows);
        break;
    case ERROR_SUCCESS:
        report.Decide(kDrawerFault, "enabling failed (" + code + "), though " + com + " opens now");
        break;
    default:
        report.Decide(kDrawerFault, com + " cannot be opened" + windows);
        break;
    }
}

// Enables the open device with PowerNotify on and decides by the first known PowerState.
void AskTheDrawer(ControlObject& co, CheckReport& report, const std::wstring& port) {
    report.Step("setting PowerNotify");
    long code = co.PutLong(L"PowerNotify", opos::OPOS_PN_ENABLED);
    Line("%-28s ResultCode %ld", "PowerNotify = 1", code);
    if (code != opos::OPOS_SUCCESS) {
        report.Decide(kNotConfigured, "the service object does not report power (PowerNotify refused, "
                                      "ResultCode " +
                                          std::to_string(code) + ")");
        return;
    }
    report.Step("enabling the device");
    const ULONGLONG enabling = GetTickCount64();
    code = co.PutBool(L"DeviceEnabled", true);
    Line("%-28s ResultCode %ld", "DeviceEnabled = true", code);
    if (code != opos::OPOS_SUCCESS) {
        JudgeEnableFailure(report, port, code);
        return;
    }
    report.Step("waiting for the drawer's answer");
    long power = opos::OPOS_PS_UNKNOWN;
    const DWORD elapsed = report.ElapsedMs();
    PumpUntil([&] { return (power = co.Property(L"PowerState")) != opos::OPOS_PS_UNKNOWN; },
              elapsed < kAnswerDeadlineMs ? kAnswerDeadlineMs - elapsed : 0, 10);
    const long answerMs = static_cast<long>(GetTickCount64() - enabling);
    Line("PowerState %ld after %ld ms", power, answerMs);
    if (power == opos::OPOS_PS_ONLINE) {
        const char* drawer = co.FlagProperty(L"DrawerOpened") ? "open" : "closed";
        report.Decide(kAnswered,
                      std::string("drawer ") + drawer + ", answered in " + std::to_string(answerMs) + " ms",
                      drawer, answerMs);
    } else if (power < 0) {
        report.Decide(kNotConfigured, "the Control Object does not answer PowerState");
    } else if (power == opos::OPOS_PS_UNKNOWN) {
        report.Decide(kDrawerFault, "no answer from the drawer within " + std::to_string(answerMs) + " ms");
    } else {
        report.Decide(kDrawerFault, "no answer from the drawer (PowerState " + std::to_string(power) +
                                        " after " + std::to_string(answerMs) + " ms)");
    }
    report.Step("disabling the device");
    code = co.PutBool(L"DeviceEnabled", false);
    Line("%-28s ResultCode %ld", "DeviceEnabled = false", code);
}

int Check(const std::wstring& device, bool json) {
    g_quiet = json;
    CheckReport report(json);
    CheckFacts facts;
    facts.device = Field(device);
    report.SetFacts(facts);

    report.Step("creating the Control Object");
    ComPtr<IDispatch> created;
    HRESULT hr = CreateControlObject(created);
    if (FAILED(hr)) {
        char text[96];
        std::snprintf(text, sizeof(text), "no Control Object \"%s\" (0x%08lX)", Narrow(co::kProgId).c_str(),
                      static_cast<unsigned long>(hr));
        report.Decide(kNotConfigured, text);
        return report.Print();
    }
    ControlObject co(std::move(created));
    facts.coVersion = co.Property(L"ControlObjectVersion");
    const std::wstring port = ConfiguredPort(device);
    facts.port = Field(port);
    report.SetFacts(facts);

    report.Step("opening the device");
    Bstr name(device);
    long code = co.Method(L"Open", {BstrVariant(name.get())});
    Line("%-28s ResultCode %ld", ("Open(\"" + facts.device + "\")").c_str(), code);
    if (code != opos::OPOS_SUCCESS) {
        report.Decide(kNotConfigured,
                      code == opos::OPOS_E_NOEXIST
                          ? "no such device in the registry (ResultCode 109)"
                          : "the device cannot be opened (ResultCode " + std::to_string(code) + ")");
        return report.Print();
    }
    facts.soVersion = co.Property(L"ServiceObjectVersion");
    report.SetFacts(facts);
    AskTheDrawer(co, report, port);
    report.Step("closing the device");
    code = co.Method(L"Close");
    Line("%-28s ResultCode %ld", "Close", code);
    return report.Print();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool check = argc > 1 && std::wstring_view(argv[1]) == L"--check";
    bool json = false;
    std::vector<std::wstring> names;
    for (int i = check ? 2 : 1; i < argc; ++i) {
        if (check && std::wstring_view(argv[i]) == L"--json") {
            json = true;
        } else {
            names.emplace_back(argv[i]);
        }
    }
    if (names.size() > 1) {
        std::fprintf(stderr,
                     "usage: drawertest [DEVICE_NAME]\n       drawertest --check [DEVICE_NAME] [--json]\n");
        return 2;
    }
    const std::wstring device = names.empty() ? L"VX-CDUSB" : names[0];
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "drawertest: COM could not be initialised\n");
        return 2;
    }
    int rc = check ? Check(device, json) : Run(device);
    CoUninitialize();
    return rc;
}
