// drawertest's drawer test, run as a POS application would. One thread, the application's: the
// events arrive on it through its message loop, and the sink checks that they do.
#include "DrawerTest.h"

#include "Console.h"
#include "ControlObjectClient.h"
#include "ControlObjectIds.h"
#include "DeviceLookup.h"
#include "opos/OposConstants.h"
#include "trace/TraceSettings.h"
#include "com/Bstr.h"

#include <string>

namespace vtx::drawertest {

namespace {

// Generous: the drawer is polled every 1.5 s and closes itself after a while.
constexpr DWORD kEventLimitMs = 20000;

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

// The events' source and StatusUpdateEvent's DISPID in it (DISPID_UNKNOWN: not known by name).
struct Events {
    EventSource source;
    DISPID statusId = DISPID_UNKNOWN;
    bool found = false;
};

Events FindEvents(ControlObject& co) {
    Events events;
    events.found =
        FindByClassInfo(co.get(), events.source) || FindByConnectionPoints(co.get(), events.source);
    if (events.found && events.source.info) {
        LPOLESTR name = const_cast<LPOLESTR>(L"StatusUpdateEvent");
        if (FAILED(events.source.info->GetIDsOfNames(&name, 1, &events.statusId))) {
            events.statusId = DISPID_UNKNOWN;
        }
    }
    return events;
}

void SayHowTheDrawerIsWatched(const Events& events, bool withEvents) {
    if (!withEvents) {
        Line("events are not available from this Control Object: the drawer is watched through DrawerOpened");
    } else if (events.statusId != DISPID_UNKNOWN) {
        Line("events %s through %s, StatusUpdateEvent as DISPID %ld", GuidText(events.source.iid).c_str(),
             events.source.foundBy, static_cast<long>(events.statusId));
    } else {
        Line("events %s through %s, without type information: every event with one number is taken as "
             "StatusUpdateEvent",
             GuidText(events.source.iid).c_str(), events.source.foundBy);
    }
}

// Each step's line, and the count of those that failed.
class Steps {
public:
    bool Report(const std::string& step, long code, bool passed) {
        Line("%-28s ResultCode %ld%s", step.c_str(), code, passed ? "" : "  FAILED");
        if (!passed) {
            ++m_failures;
        }
        return passed;
    }
    void Fail() { ++m_failures; }
    int Failures() const { return m_failures; }

private:
    int m_failures = 0;
};

// What the test watches the drawer by: the events, or DrawerOpened without them.
struct Watch {
    ControlObject& co;
    const StatusSink& sink;
    bool withEvents;
};

// Opened, then closed (the cashier's part): by the events, or by DrawerOpened.
void SeeTheDrawerOpenAndClosed(Watch& watch, size_t before, Steps& steps) {
    auto opened = [&] {
        return watch.withEvents ? watch.sink.Saw(opos::CASH_SUE_DRAWEROPEN, before)
                                : watch.co.FlagProperty(L"DrawerOpened");
    };
    if (!PumpUntil(opened, kEventLimitMs)) {
        Line("  the drawer was not seen open within %lu ms  FAILED",
             static_cast<unsigned long>(kEventLimitMs));
        steps.Fail();
        return;
    }
    const size_t open = watch.sink.EventCount();
    auto closed = [&] {
        return watch.withEvents ? watch.sink.Saw(opos::CASH_SUE_DRAWERCLOSED, open)
                                : !watch.co.FlagProperty(L"DrawerOpened");
    };
    if (!PumpUntil(closed, kEventLimitMs)) {
        Line("  the drawer was not seen closed within %lu ms  FAILED",
             static_cast<unsigned long>(kEventLimitMs));
        steps.Fail();
    }
}

void CheckHealthAndStatistics(ControlObject& co, Steps& steps) {
    long code = co.Method(L"CheckHealth", {LongVariant(opos::OPOS_CH_INTERNAL)});
    std::wstring text = co.TextProperty(L"CheckHealthText");
    // A level the service does not support is answered 106 with a text saying so.
    steps.Report("CheckHealth(1)", code,
                 code == opos::OPOS_SUCCESS || (code == opos::OPOS_E_ILLEGAL && !text.empty()));
    Line("  CheckHealthText \"%s\"", Narrow(text).c_str());

    BSTR document = nullptr;
    code = co.Method(L"RetrieveStatistics", {BstrRefVariant(&document)});
    Bstr owned = Bstr::Attach(document);
    const bool isDocument = owned.view().starts_with(L"<?xml");
    steps.Report("RetrieveStatistics", code, code == opos::OPOS_SUCCESS && isDocument);
    Line("  %s", Narrow(owned.view()).c_str());
}

// ClaimDevice (or Claim in a Control Object older than it), then DeviceEnabled; whether both passed.
bool ClaimAndEnable(ControlObject& co, Steps& steps) {
    const wchar_t* claim = co.Has(L"ClaimDevice") ? L"ClaimDevice" : L"Claim";
    long code = co.Method(claim, {LongVariant(1000)});
    bool ready = steps.Report(Narrow(claim) + "(1000)", code, code == opos::OPOS_SUCCESS);
    code = ready ? co.PutBool(L"DeviceEnabled", true) : -1;
    return ready && steps.Report("DeviceEnabled = true", code, code == opos::OPOS_SUCCESS);
}

void DrawerSteps(Watch& watch, Steps& steps) {
    const size_t before = watch.sink.EventCount();
    long code = watch.co.Method(L"OpenDrawer");
    if (steps.Report("OpenDrawer", code, code == opos::OPOS_SUCCESS)) {
        SeeTheDrawerOpenAndClosed(watch, before, steps);
    }
    CheckHealthAndStatistics(watch.co, steps);
}

// ReleaseDevice, Close and the verdict; the exit code.
int Finish(ControlObject& co, const StatusSink& sink, Steps& steps) {
    long code = co.Method(L"ReleaseDevice");
    steps.Report("ReleaseDevice", code, code == opos::OPOS_SUCCESS);
    code = co.Method(L"Close");
    steps.Report("Close", code, code == opos::OPOS_SUCCESS);

    if (sink.CameOnWrongThread()) {
        Line("status events arrived on another thread  FAILED");
        steps.Fail();
    }
    if (co.CallFailed()) {
        steps.Fail();
    }
    Line("%s", steps.Failures() == 0 ? "drawer test passed" : "drawer test FAILED");
    return steps.Failures() == 0 ? 0 : 1;
}

} // namespace

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
    const Events events = FindEvents(co);
    StatusSink sink(GetCurrentThreadId(), events.source.iid, events.statusId);
    Connection connection(co.get(), events.source.iid, &sink);
    Watch watch{co, sink, events.found && connection};
    SayHowTheDrawerIsWatched(events, watch.withEvents);

    Steps steps;
    Bstr name(device);
    long code = co.Method(L"Open", {BstrVariant(name.get())});
    if (!steps.Report("Open(\"" + Narrow(device) + "\")", code, code == opos::OPOS_SUCCESS)) {
        Line("drawer test FAILED");
        return 1;
    }
    if (ClaimAndEnable(co, steps)) {
        DrawerSteps(watch, steps);
    } else {
        Line("(drawer steps skipped: the device is not claimed and enabled)");
    }
    return Finish(co, sink, steps);
}

} // namespace vtx::drawertest
