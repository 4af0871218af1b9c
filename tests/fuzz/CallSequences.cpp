// Random call sequences against a reference model of the service object, written
// from its documented behaviour: results, properties, DrawerOpened and status events.
#include "CallSequences.h"

#include "ByRef.h"
#include "DeviceRegistry.h"
#include "Dispatch.h"
#include "FakeControlObject.h"
#include "MessagePump.h"
#include "ProcessGauges.h"
#include "QuietSpeaker.h"
#include "VirtualDrawer.h"
#include "com/ComPtr.h"
#include "service/CashDrawer.h"
#include "service/DispatchTable.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace vtx::fuzz {

namespace {

// An index below n, on 32-bit builds too.
template <class Rng> size_t Pick(Rng& rng, size_t n) {
    return static_cast<size_t>(rng() % n);
}

using namespace test;

enum class Kind {
    OpenService,
    OpenMissing,
    Claim,
    Release,
    Close,
    Freeze,
    CheckHealth,
    Refused,
    DirectIO,
    Retrieve,
    GetNumber,
    SetNumber,
    GetString,
    SetString,
    OpenDrawer,
    WaitClose,
    // The drawer's side, between calls.
    DrawerOpen,
    DrawerClose,
    Silent,
    Garbage,
    Normal,
    Unplug,
    Plug,
    Unavailable,
    Available,
    Quiet
};
const char* const kNames[] = {"OpenService",
                              "OpenService(missing)",
                              "Claim",
                              "Release",
                              "Close",
                              "COFreezeEvents",
                              "CheckHealth",
                              "UpdateFirmware/Statistics",
                              "DirectIO",
                              "RetrieveStatistics",
                              "GetPropertyNumber",
                              "SetPropertyNumber",
                              "GetPropertyString",
                              "SetPropertyString",
                              "OpenDrawer",
                              "WaitForDrawerClose",
                              "drawer OPEN",
                              "drawer CLOSE",
                              "MODE SILENT",
                              "MODE GARBAGE",
                              "MODE NORMAL",
                              "UNPLUG",
                              "PLUG",
                              "UNAVAILABLE",
                              "AVAILABLE",
                              "quiet point"};

struct Step {
    Kind kind;
    long a = 0, b = 0;
};

std::string Show(const Step& s) {
    std::string text = kNames[static_cast<int>(s.kind)];
    if (s.kind == Kind::Claim || s.kind == Kind::CheckHealth || s.kind == Kind::GetNumber ||
        s.kind == Kind::GetString || s.kind == Kind::Freeze || s.kind == Kind::Refused) {
        text += "(" + std::to_string(s.a) + ")";
    } else if (s.kind == Kind::SetNumber || s.kind == Kind::SetString) {
        text += "(" + std::to_string(s.a) + ", " + std::to_string(s.b) + ")";
    }
    return text;
}

// The reference model: what the design says each call answers and stores.
struct Model {
    bool open = false, claimed = false, enabled = false, frozen = false;
    long rc = 0, freezeNumber = 0, binary = 0, powerNotify = 0;
    // The monitor was started with PowerNotify 1 since PowerState was last reset: 2001 and 2004 may show.
    bool powerReports = false;
    std::wstring healthText;
    unsigned drawerOpened = 1; // bit 0: 0 possible, bit 1: 1 possible
    // The drawer's states since the monitor was last seen in step with it: a
    // poll answered before a change may still land after it.
    unsigned drawerSeen = 1;
    bool portHeld = false;      // the object holds a port handle (claim or enable without claim)
    bool mayBeDropped = false;  // that handle may have been dropped by an unanswered poll, or gone stale
    bool eventsUnknown = false; // WaitForDrawerClose moved DrawerOpened past the monitor's own view
    // The drawer stopped answering while the monitor polled: an exchange it had already answered
    // may still store its answer, until the next quiet point has waited one exchange out.
    bool lateAnswer = false;
    // The drawer.
    bool drawerIsOpen = false, answering = true, plugged = true, available = true;
    bool Reachable() const { return plugged && available; }
    bool Polls() const { return plugged && answering; }
    bool MayStore() const { return enabled && (Polls() || lateAnswer); }
    unsigned Bit(bool v) const { return v ? 2u : 1u; }
};

// Chosen with the state in view, so that sequences spend their time in the
// claimed and enabled states as applications do.
Step RandomStep(std::mt19937_64& rng, const Model& m) {
    static const long kGet[] = {1,  2,   3,   4,   5,   6,   7,    8,    9,    10, 11, 12, 13,
                                14, 501, 502, 503, 504, 505, 1001, 1501, 1502, 0,  99, -1};
    static const long kSet[] = {1, 3, 3, 3, 3, 4, 4, 6, 7, 11, 13, 13, 0, 99, 1001};
    static const long kValues[] = {0, 1, 2, 7, 65537, -5};
    static const long kTimeouts[] = {0, 0, 0, 250, 50, -2, -1, 1000};
    static const Kind kCalls[] = {Kind::OpenService, Kind::OpenMissing, Kind::Claim,      Kind::Claim,
                                  Kind::Release,     Kind::Close,       Kind::Freeze,     Kind::CheckHealth,
                                  Kind::Refused,     Kind::DirectIO,    Kind::Retrieve,   Kind::GetNumber,
                                  Kind::GetNumber,   Kind::SetNumber,   Kind::SetNumber,  Kind::GetString,
                                  Kind::SetString,   Kind::OpenDrawer,  Kind::OpenDrawer, Kind::WaitClose};
    static const Kind kDrawer[] = {Kind::DrawerOpen, Kind::DrawerClose, Kind::DrawerClose, Kind::Silent,
                                   Kind::Garbage,    Kind::Normal,      Kind::Normal,      Kind::Unplug,
                                   Kind::Plug,       Kind::Plug,        Kind::Unavailable, Kind::Available,
                                   Kind::Available,  Kind::Quiet,       Kind::Quiet};
    unsigned roll = static_cast<unsigned>(rng() % 100);
    Kind kind = roll < 30 ? kDrawer[Pick(rng, std::size(kDrawer))] : kCalls[Pick(rng, std::size(kCalls))];
    // Leaving a state is rarer than reaching the next one.
    if ((kind == Kind::Close || kind == Kind::Release || kind == Kind::OpenMissing) && rng() % 3 != 0) {
        kind = Kind::GetNumber;
    }
    if (!m.open && roll % 2 == 0) {
        kind = Kind::OpenService;
    } else if (m.open && !m.claimed && roll % 4 == 0) {
        kind = m.enabled ? Kind::SetNumber : Kind::Claim; // enabled without a claim holds the port itself
    } else if (m.open && !m.enabled && roll % 4 == 1) {
        kind = Kind::SetNumber;
    }
    Step s{kind};
    switch (s.kind) {
    case Kind::Claim:
        s.a = kTimeouts[Pick(rng, std::size(kTimeouts))];
        break;
    case Kind::CheckHealth:
        s.a = static_cast<long>(rng() % 4) + (rng() % 4 == 0 ? 6 : 0);
        break;
    case Kind::Refused:
        s.a = static_cast<long>(rng() % 4);
        break;
    case Kind::Freeze:
        s.a = static_cast<long>(rng() % 2);
        break;
    case Kind::GetNumber:
        s.a = kGet[Pick(rng, std::size(kGet))];
        break;
    case Kind::SetNumber:
        s.a = (!m.enabled && roll % 4 == 1) || (m.enabled && !m.claimed && roll % 4 == 0)
                  ? 3
                  : kSet[Pick(rng, std::size(kSet))];
        s.b = s.a == 3 ? (m.enabled ? static_cast<long>(rng() % 3) / 2 : 1)
                       : kValues[Pick(rng, std::size(kValues))];
        break;
    case Kind::GetString:
        s.a = 1000000 + static_cast<long>(rng() % 6);
        break;
    case Kind::SetString:
        s.a = 1000000 + static_cast<long>(rng() % 6);
        break;
    default:
        break;
    }
    return s;
}

constexpr long kVersion = 1012001;

class Session {
public:
    Session(VirtualDrawer& drawer, const std::wstring& device) : m_drawer(drawer), m_device(device) {
        m_drawer.Reset();
        CCashDrawer::Create(IID_IDispatch, m_so.put_void());
    }

    // Runs one step; the answer is empty or says how the object differs from the model.
    std::string Do(const Step& s) {
        std::string fault = Call(s);
        if (fault.empty() && m.open && s.kind < Kind::DrawerOpen && s.kind != Kind::GetNumber) {
            fault = Expect("ResultCode", Number(6), {m.rc});
            m.rc = 0;
        }
        if (fault.empty() && !m.open && m_co.Updates().size() != m_eventsAtClose) {
            fault = "a status event reached the Control Object after Close";
        }
        if (m.enabled && !m.Polls()) {
            m.mayBeDropped = m.mayBeDropped || m.portHeld;
        }
        if (m.MayStore()) {
            m.drawerOpened |= m.drawerSeen; // the monitor may have seen any of them already
        }
        ++m_calls;
        if (s_trace) {
            std::printf("  %-32s open %d claimed %d enabled %d frozen %d%s%s\n", Show(s).c_str(), m.open,
                        m.claimed, m.enabled, m.frozen, fault.empty() ? "" : " <- ", fault.c_str());
        }
        return fault;
    }
    long Calls() const { return m_calls; }
    const Model& State() const { return m; }

private:
    static std::string Expect(const std::string& what, long got, std::set<long> allowed) {
        if (allowed.count(got) != 0) {
            return {};
        }
        std::string text = what + " answered " + std::to_string(got) + ", the model expects";
        for (long a : allowed) {
            text += " " + std::to_string(a);
        }
        return text;
    }
    long Invoke(DISPID id, std::initializer_list<VARIANT> args) {
        InvokeResult r = InvokeRaw(m_so.get(), id, args);
        m_hr = r.hr;
        return V_VT(r.value.get()) == VT_I4 ? V_I4(r.value.get()) : 0;
    }
    long Number(long pidx) { return Invoke(so_dispid::GetPropertyNumber, {Long(pidx)}); }
    // A void method's code is read back as ResultCode after the step.
    void Store(long code) { m.rc = code; }
    std::string Answer(const char* what, long got, long expected) {
        m.rc = expected;
        return Expect(what, got, {expected});
    }
    void SyncDrawer() {
        m.drawerIsOpen = m_drawer.IsOpen();
        m.drawerSeen |= m.Bit(m.drawerIsOpen);
    }
    // Status requests the drawer has received so far.
    long Requests() {
        std::string stats = m_drawer.Expect("STATS");
        size_t at = stats.find("requests=");
        return at == std::string::npos ? -1 : std::atol(stats.c_str() + at + 9);
    }

    std::string Call(const Step& s) {
        switch (s.kind) {
        case Kind::OpenService:
        case Kind::OpenMissing:
            return OpenService(s.kind == Kind::OpenMissing);
        case Kind::Claim:
            return Claim(s.a);
        case Kind::Release:
            return Release();
        case Kind::Close:
            return Close();
        case Kind::Freeze: {
            long got = Invoke(so_dispid::COFreezeEvents, {Bool(s.a != 0)});
            m.frozen = s.a != 0;
            return Expect("COFreezeEvents", got, {0});
        }
        case Kind::CheckHealth:
            return CheckHealth(s.a);
        case Kind::Refused:
            return Refused(s.a);
        case Kind::DirectIO:
        case Kind::Retrieve:
            return ByReference(s.kind);
        case Kind::GetNumber:
            return GetNumber(s.a);
        case Kind::SetNumber:
            return SetNumber(s.a, s.b);
        case Kind::GetString:
            return GetString(s.a);
        case Kind::SetString: {
            Arg text(Text(L"value"));
            Invoke(so_dispid::SetPropertyString, {Long(s.a), text.v()});
            Store(106);
            return {};
        }
        case Kind::OpenDrawer:
            return OpenDrawer();
        case Kind::WaitClose:
            return WaitClose();
        case Kind::Quiet:
            return Quiet();
        default:
            DrawerSide(s.kind);
            return {};
        }
    }

    std::string OpenService(bool missing) {
        std::wstring name = missing ? m_device + L"-missing" : m_device;
        Arg cls(Text(L"CashDrawer")), dev(Text(name.c_str()));
        long got = Invoke(so_dispid::OpenService, {cls.v(), dev.v(), Disp(&m_co)});
        if (m.open) {
            return Answer("OpenService", got, 106);
        }
        m.freezeNumber = m.binary = m.powerNotify = 0;
        m.powerReports = false;
        m.healthText.clear();
        m.claimed = m.enabled = false;
        if (missing) {
            return Answer("OpenService", got, 104);
        }
        m.open = true;
        m.drawerOpened = 1;
        m_eventsAtOpen = m_co.Updates().size();
        m.eventsUnknown = false;
        return Answer("OpenService", got, 0);
    }

    std::string Claim(long timeout) {
        long attempts = timeout == -1 ? 1 : timeout == 0 ? 1 : timeout / 100;
        bool heldByEnable = m.portHeld && !m.claimed;
        bool mayGet = m.Reachable() && (!heldByEnable || m.mayBeDropped);
        bool mustGet = m.Reachable() && !heldByEnable;
        if (timeout == -1 && m.open && !m.claimed && !mustGet) {
            return {}; // would wait, as designed, until the port comes back: not generated
        }
        long got = Invoke(so_dispid::Claim, {Long(timeout)});
        if (!m.open)
            return Answer("Claim", got, 101);
        if (m.claimed || timeout < -1)
            return Answer("Claim", got, 106);
        std::set<long> allowed;
        if (attempts > 0 && mayGet)
            allowed.insert(0);
        if (attempts == 0 || !mustGet)
            allowed.insert(111);
        std::string fault = Expect("Claim(" + std::to_string(timeout) + ")", got, allowed);
        m.rc = got;
        if (got == 0) {
            m.claimed = m.portHeld = true;
            m.mayBeDropped = false;
        }
        return fault;
    }

    std::string Release() {
        long got = Invoke(so_dispid::Release, {});
        if (!m.open)
            return Answer("Release", got, 101);
        if (!m.claimed)
            return Answer("Release", got, 106);
        m.claimed = m.enabled = m.portHeld = m.mayBeDropped = false;
        return Answer("Release", got, 0);
    }

    std::string Close() {
        long got = Invoke(so_dispid::Close, {});
        if (!m.open)
            return Answer("Close", got, 101);
        m.open = m.claimed = m.enabled = m.portHeld = m.mayBeDropped = false;
        m_eventsAtClose = m_co.Updates().size();
        return Answer("Close", got, 0);
    }

    std::string CheckHealth(long level) {
        long got = Invoke(so_dispid::CheckHealth, {Long(level)});
        if (!m.open)
            return Answer("CheckHealth", got, 106);
        if (!m.enabled)
            return Answer("CheckHealth", got, 105);
        static const wchar_t* const kTexts[] = {
            L"Check health level nonexistent.", L"Internal Heath Check: check health level not supported.",
            L"External Heath Check: check health level not supported.",
            L"Interactive Heath Check: check health level not supported."};
        m.healthText = kTexts[level >= 1 && level <= 3 ? level : 0];
        return Answer("CheckHealth", got, 106);
    }

    // The methods the service refuses whatever its state; `which` 3 is the one with a by-reference result.
    std::string Refused(long which) {
        static const DISPID kIds[] = {so_dispid::ResetStatistics, so_dispid::UpdateFirmware,
                                      so_dispid::UpdateStatistics, so_dispid::CompareFirmwareVersion};
        Arg text(Text(L"x"));
        long result = 5;
        long got = which == 3 ? Invoke(so_dispid::CompareFirmwareVersion, {text.v(), LongRef(&result)})
                              : Invoke(kIds[which], {text.v()});
        return Answer("refused method", got, 106);
    }

    // DirectIO or RetrieveStatistics: the calls that hand text back by reference.
    std::string ByReference(Kind kind) {
        long data = 0;
        BSTR text = SysAllocString(L"in");
        long got = kind == Kind::DirectIO
                       ? Invoke(so_dispid::DirectIO, {Long(1), LongRef(&data), BstrRef(&text)})
                       : Invoke(so_dispid::RetrieveStatistics, {BstrRef(&text)});
        bool document = text != nullptr && wcsncmp(text, L"<?xml", 5) == 0;
        SysFreeString(text);
        long expected = !m.open                  ? 106
                        : !m.claimed             ? 103
                        : !m.enabled             ? 105
                        : kind == Kind::DirectIO ? 106
                                                 : 0;
        std::string fault = Answer(kind == Kind::DirectIO ? "DirectIO" : "RetrieveStatistics", got, expected);
        if (fault.empty() && kind == Kind::Retrieve && (got == 0) != document) {
            fault = "RetrieveStatistics handed back the wrong text";
        }
        return fault;
    }

    std::string GetString(long pidx) {
        InvokeResult r = InvokeRaw(m_so.get(), so_dispid::GetPropertyString, {Long(pidx)});
        std::wstring got =
            V_VT(r.value.get()) == VT_BSTR && V_BSTR(r.value.get()) ? V_BSTR(r.value.get()) : L"?";
        std::wstring expected = pidx == 1000001   ? m.healthText
                                : pidx == 1000002 ? L"Veltrix Works OPOS CashDrawer"
                                : pidx == 1000003 ? L"Veltrix.OPOS.CashDrawer"
                                : pidx == 1000004 ? L"1012001"
                                                  : L"[Error]";
        m.rc = expected == L"[Error]" ? 106 : 0;
        return got == expected ? ""
                               : "GetPropertyString(" + std::to_string(pidx) + ") handed back other text";
    }

    std::string OpenDrawer() {
        Invoke(so_dispid::OpenDrawer, {});
        long got = m.open ? Number(6) : 106;
        std::set<long> allowed{0};
        if (!m.open || !m.enabled) {
            allowed = {106};
        } else if (!m.plugged) {
            allowed = {107, 111};
        } else if (m.mayBeDropped) {
            allowed = {0, 107, 111};
            if (m.available)
                allowed.erase(107);
        }
        std::string fault = Expect("OpenDrawer", got, allowed);
        m.rc = 0; // read above
        if (got == 0 && m.open && m.enabled) {
            m.mayBeDropped = false;
            // The drawer opens once it has read the command.
            PumpUntil([&] { return m_drawer.IsOpen(); }, 3000);
            SyncDrawer();
        } else if (got == 107 || got == 111) {
            m.mayBeDropped = true;
        }
        return fault;
    }

    std::string WaitClose() {
        if (m.open && m.enabled && (m.drawerIsOpen || !m.Polls() || !m.available)) {
            return {}; // would wait for a drawer that is not seen closing: not generated
        }
        Invoke(so_dispid::WaitForDrawerClose, {Long(0), Long(800), Long(10), Long(10)});
        Store(!m.open ? 106 : !m.enabled ? 105 : 0);
        if (m.rc == 0) {
            m.drawerOpened = 1;
            m.mayBeDropped = false;
            m.eventsUnknown = true;
        }
        return {};
    }

    // The drawer's side between calls: its command to the virtual drawer, then what the model learns from it.
    void DrawerSide(Kind kind) {
        static const char* const kCommands[] = {"OPEN",         "CLOSE",       "MODE SILENT",
                                                "MODE GARBAGE", "MODE NORMAL", "UNPLUG",
                                                "PLUG",         "UNAVAILABLE", "AVAILABLE"};
        m_drawer.Expect(kCommands[static_cast<int>(kind) - static_cast<int>(Kind::DrawerOpen)]);
        if ((kind == Kind::Silent || kind == Kind::Garbage || kind == Kind::Unplug) && m.enabled &&
            m.Polls()) {
            m.lateAnswer = true;
        }
        switch (kind) {
        case Kind::DrawerOpen:
        case Kind::DrawerClose:
            SyncDrawer();
            break;
        case Kind::Silent:
        case Kind::Garbage:
        case Kind::Normal:
            m.answering = kind == Kind::Normal;
            break;
        case Kind::Unplug:
            m.plugged = false;
            m.mayBeDropped = m.mayBeDropped || m.portHeld;
            SyncDrawer();
            break;
        case Kind::Plug:
            m.plugged = true;
            break;
        case Kind::Unavailable:
        case Kind::Available:
            m.available = kind == Kind::Available;
            break;
        default:
            break;
        }
    }
    std::string GetNumber(long pidx) {
        long got = Number(pidx);
        if (!m.open)
            return Answer("GetPropertyNumber", got, 101);
        std::string what = "GetPropertyNumber(" + std::to_string(pidx) + ")";
        if (pidx == 1001) {
            std::string fault =
                Expect(what, got, {(m.drawerOpened & 1) ? 0L : -9, (m.drawerOpened & 2) ? 1L : -9});
            m.drawerOpened = m.Bit(got != 0) | (m.MayStore() ? m.drawerSeen : 0);
            return fault;
        }
        // What each property holds in the model, read before the read itself resets ResultCode.
        const std::map<long, long> held = {{1, m.claimed ? 1 : 0},
                                           {3, m.enabled ? 4 : 0},
                                           {4, m.freezeNumber},
                                           {6, m.rc},
                                           {7, 0},
                                           {8, kVersion},
                                           {9, 2},
                                           {11, m.binary},
                                           {13, m.powerNotify},
                                           {14, 2000},
                                           {501, 1},
                                           {502, 1},
                                           {503, 0},
                                           {504, 0},
                                           {505, 0},
                                           {1501, 1},
                                           {1502, 0}};
        if (pidx == 14 && m.powerReports && (got == 2001 || got == 2004)) {
            m.rc = 0;
            return {};
        }
        auto expected = held.find(pidx);
        if (expected == held.end()) {
            return Answer(what.c_str(), got, 106);
        }
        m.rc = 0;
        return Expect(what, got, {expected->second});
    }

    std::string SetNumber(long pidx, long value) {
        Invoke(so_dispid::SetPropertyNumber, {Long(pidx), Long(value)});
        switch (pidx) {
        case 3:
            if (!m.open) {
                Store(101);
            } else if (value > 0) {
                if (!m.claimed && !m.enabled) {
                    long got = Number(6);
                    std::set<long> allowed{m.Reachable() ? 0L : 111L};
                    m.rc = 0;
                    if (got == 0) {
                        m.portHeld = true;
                        m.mayBeDropped = false;
                        m.enabled = true;
                        m.powerReports = m.powerNotify == 1;
                    }
                    return Expect("enable", got, allowed);
                }
                m.enabled = true;
                m.powerReports = m.powerNotify == 1;
                Store(0);
            } else {
                m.enabled = false;
                if (!m.claimed)
                    m.portHeld = m.mayBeDropped = false;
                Store(0);
            }
            return {};
        case 4:
            m.freezeNumber = value;
            m.frozen = (value & 0xFFFF) == 1;
            Store(0);
            return {};
        case 6:
        case 7:
            Store(0);
            return {};
        case 11:
            m.binary = value;
            Store(0);
            return {};
        case 13:
            if (m.enabled) {
                Store(106);
            } else {
                m.powerNotify = value;
                Store(0);
            }
            return {};
        default:
            Store(111);
            return {};
        }
    }

    // Waits, pumping messages, until the monitor has seen the drawer as it is
    // and the Control Object has been told; then checks every known property.
    std::string Quiet() {
        if (!m.open)
            return {};
        if (m.lateAnswer) {
            PumpFor(500); // longer than one exchange
            m.drawerOpened |= m.enabled ? m.drawerSeen : 0;
            m.lateAnswer = false;
        }
        if (m.enabled && m.Polls() && !m.mayBeDropped && !m.frozen) {
            long state = m.drawerIsOpen ? 1 : 0;
            // By the last drawer event of this session; power events (2001, 2004) come between them.
            auto told = [&] {
                const auto updates = m_co.Updates();
                const auto end = updates.rend() - static_cast<long>(m_eventsAtOpen);
                const auto last =
                    std::find_if(updates.rbegin(), end, [](auto& u) { return u.status < 2000; });
                return (last == end ? 0 : last->status) == state;
            };
            // A poll whose request left after this point answers for the drawer as it is now.
            const long requests = Requests();
            bool seen = PumpUntil(
                [&] {
                    return Requests() >= requests + 2 && Number(1001) == state && (m.eventsUnknown || told());
                },
                6000);
            if (told()) {
                m.eventsUnknown = false;
            }
            if (!seen) {
                return "the monitor never reported the drawer " + std::string(state ? "open" : "closed") +
                       " (DrawerOpened " + std::to_string(Number(1001)) + ", events " +
                       std::to_string(m_co.Updates().size()) + ")";
            }
            m.drawerOpened = m.drawerSeen = m.Bit(state != 0);
        }
        for (long pidx : {1L, 3L, 4L, 7L, 8L, 9L, 11L, 13L, 14L, 501L, 502L, 503L, 1501L, 1502L, 1001L}) {
            if (std::string fault = GetNumber(pidx); !fault.empty()) {
                return fault;
            }
        }
        return {};
    }

    static inline const bool s_trace = NumberFrom("VTX_SEQ_TRACE", 0) != 0;
    VirtualDrawer& m_drawer;
    std::wstring m_device;
    FakeControlObject m_co;
    ComPtr<IDispatch> m_so;
    Model m;
    HRESULT m_hr = S_OK;
    size_t m_eventsAtClose = 0;
    size_t m_eventsAtOpen = 0;
    long m_calls = 0;
};

struct Failure {
    std::string fault;
    size_t at = 0;
};

Failure Replay(VirtualDrawer& drawer, const std::wstring& device, const std::vector<Step>& steps,
               long* calls = nullptr) {
    Failure f;
    Session session(drawer, device);
    for (size_t i = 0; i < steps.size() && f.fault.empty(); ++i) {
        f.fault = session.Do(steps[i]);
        f.at = i + 1;
    }
    if (f.fault.empty()) {
        f.fault = session.Do({Kind::Quiet});
    }
    if (calls != nullptr) {
        *calls = session.Calls();
    }
    return f;
}

} // namespace

SequenceOutcome RunCallSequences(uint64_t seed, long calls) {
    SequenceOutcome outcome;
    QuietSpeaker speaker;
    VirtualDrawer drawer;
    DeviceKey device(UniqueDeviceName(L"VX-SEQ"));
    device.SetPort(drawer.PortName());
    auto start = std::chrono::steady_clock::now();
    for (uint64_t round = 0; outcome.calls < calls && outcome.mismatch.empty(); ++round) {
        std::mt19937_64 rng(Mix(seed, round));
        std::vector<Step> steps;
        Failure f;
        {
            Session session(drawer, device.Name());
            for (int i = 0; i < 120 && f.fault.empty(); ++i) {
                steps.push_back(RandomStep(rng, session.State()));
                f.fault = session.Do(steps.back());
                f.at = steps.size();
            }
            if (f.fault.empty()) {
                f.fault = session.Do({Kind::Quiet});
            }
            outcome.calls += session.Calls();
        }
        if (f.fault.empty()) {
            continue;
        }
        // Shortest sequence: drop steps while the replay, from a fresh object, still fails.
        steps.resize(f.at);
        // Drops ever smaller runs of steps while the replay, from a fresh object,
        // still fails. Bounded, so that a failing CI run still ends within its limit.
        auto shrinkEnd =
            std::chrono::steady_clock::now() + std::chrono::seconds(NumberFrom("VTX_SEQ_SHRINK_S", 45));
        for (size_t chunk = steps.size() / 2; chunk >= 1 && std::chrono::steady_clock::now() < shrinkEnd;) {
            bool dropped = false;
            for (size_t i = 0; i + chunk <= steps.size() && std::chrono::steady_clock::now() < shrinkEnd;) {
                std::vector<Step> fewer = steps;
                fewer.erase(fewer.begin() + static_cast<long>(i),
                            fewer.begin() + static_cast<long>(i + chunk));
                Failure g = Replay(drawer, device.Name(), fewer);
                if (g.fault.empty()) {
                    i += chunk;
                    continue;
                }
                fewer.resize(std::min(g.at, fewer.size()));
                steps = fewer;
                f = g;
                dropped = true;
            }
            if (!dropped || chunk > 1) {
                chunk = chunk > 1 ? chunk / 2 : 0;
            }
        }
        outcome.mismatch = "seed " + std::to_string(seed) + ", round " + std::to_string(round) + ": " +
                           f.fault + "\n  shortest sequence from a fresh object:";
        for (const Step& s : steps) {
            outcome.mismatch += "\n    " + Show(s);
        }
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

} // namespace vtx::fuzz
