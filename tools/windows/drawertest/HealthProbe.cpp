// drawertest --check: the health probe. The application's thread creates, opens and enables the
// device; a watchdog thread, which touches nothing but the result (under CheckReport's lock),
// prints what was decided and ends the process when that thread is stuck in a call.
#include "HealthProbe.h"

#include "Console.h"
#include "ControlObjectClient.h"
#include "ControlObjectIds.h"
#include "DeviceLookup.h"
#include "device/PortNumber.h" // names the port as the service object does
#include "opos/OposConstants.h"
#include "com/Bstr.h"
#include "win32/SrwLock.h"
#include "win32/UniqueHandle.h"
#include "win32/UniqueRegKey.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

namespace vtx::drawertest {

namespace {

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
        std::lock_guard lock(m_lock);
        m_facts = facts;
    }
    void Decide(CheckCode code, std::string detail, const char* drawer = "unknown", long answerMs = -1) {
        std::lock_guard lock(m_lock);
        m_result = {code, std::move(detail), drawer, answerMs};
        m_decided = true;
    }
    // Prints the last line once; the exit code.
    int Print() {
        std::lock_guard lock(m_lock);
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
            std::lock_guard lock(self->m_lock);
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
    SrwLock m_lock;
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

} // namespace

int Check(const std::wstring& device, bool json) {
    SetQuiet(json);
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

} // namespace vtx::drawertest
