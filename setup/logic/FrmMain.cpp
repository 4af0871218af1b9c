// The main window's behaviour.
#include "logic/FrmMain.h"

#include "logic/LdnCount.h"
#include "logic/RegistryLayout.h"
#include "logic/TextRules.h"
#include "registry/AnsiText.h"
#include "win32/DeviceSettings.h"

#include <cstdint>
#include <new>
#include <string>
#include <variant>

namespace vtx::setup {

namespace {
constexpr wchar_t kCrUsb[] = L"CRUSB";
constexpr wchar_t kCrUsbPath[] = L"\\\\.\\VXCR3\\";
} // namespace

FrmMain::FrmMain(const BuildProfile& build, MainView& view, SetupRegistry& registry, PortProbe& ports,
                 MessageBoxes& messages, ControlObjectFactory createControlObject)
    : m_build(build), m_view(view), m_registry(registry), m_ports(ports), m_messages(messages),
      m_createControlObject(std::move(createControlObject)) {}

void FrmMain::Load() {
    LoadPortSetting();
    LoadPolicySettings();
    LoadLdnList();
    for (short n = 1; n <= m_build.comPorts; ++n) {
        if (ProbeComPort(n)) {
            m_view.AddPortChoice(L"COM" + std::to_wstring(n));
        }
    }
    for (short n = 1; n <= m_build.lptPorts; ++n) {
        if (ProbeLptPort(n)) {
            m_view.AddPortChoice(L"LPT" + std::to_wstring(n));
        }
    }
}

void FrmMain::LoadPortSetting() {
    // A missing key or value shows an empty box, not a buffer of spaces.
    m_view.SetPortText(m_registry.ReadPort(DeviceKey(m_build)));
}

void FrmMain::LoadPolicySettings() {
    std::wstring shown;
    for (const ValueRow& row : m_registry.ListPolicy().value_or(ValueTable{})) {
        const auto* name = std::get_if<std::wstring>(&row.name);
        if (name == nullptr || !IsPolicyValue(name->c_str())) {
            continue;
        }
        std::wstring value;
        if (const auto* text = std::get_if<std::wstring>(&row.data)) {
            value = *text;
        } else if (const auto* number = std::get_if<std::int32_t>(&row.data)) {
            value = std::to_wstring(static_cast<std::uint32_t>(*number));
        } else if (const auto* bytes = std::get_if<Bytes>(&row.data)) { // REG_EXPAND_SZ, as stored
            const std::string stored(bytes->begin(), bytes->end());
            value = FromAnsi(stored.substr(0, stored.find('\0')));
        }
        shown += (shown.empty() ? kSetByPolicy : L", ") + *name + L" = " + value;
    }
    m_view.ShowPolicySettings(shown);
}

void FrmMain::LoadLdnList() {
    // A count that is not a number counts as 0 here, as it does on add and delete.
    if (ReadLdnCount(m_registry, m_build, L"100") == 0) {
        return;
    }
    RefillLdnList();
}

bool FrmMain::ProbeComPort(short n) {
    return m_ports.CanOpen(L"COM" + std::to_wstring(n));
}

bool FrmMain::ProbeLptPort(short n) {
    return m_ports.CanOpen(L"LPT" + std::to_wstring(n));
}

void FrmMain::ShowAdminRefusal() {
    m_messages.Show(kAdminOnly, std::wstring(m_build.appTitle), Buttons::Ok);
}

short FrmMain::CheckAdminAccess() {
    if (m_registry.OpenFullAccess(DeviceKey(m_build))) {
        return 0;
    }
    ShowAdminRefusal();
    m_view.DisablePortBox();
    return 1;
}

void FrmMain::PortBoxLostFocus() {
    if (CheckAdminAccess() != 0) {
        return;
    }
    std::wstring port = TrimSpaces(m_view.PortText());
    if (port == kCrUsb) {
        port = kCrUsbPath;
    }
    m_registry.Write(DeviceKey(m_build), L"Port", kTypeText, port);
    ReportMirrorFailure();
}

void FrmMain::ReportMirrorFailure() {
    if (m_registry.TakeMirrorFailure()) {
        m_view.SetStatus(kMirrorFailed);
    }
}

void FrmMain::RefillLdnList() {
    if (auto table = m_registry.List(opos::kCashDrawerClassKey)) {
        for (const ValueRow& row : *table) {
            const auto* name = std::get_if<std::wstring>(&row.name);
            const auto* data = std::get_if<std::wstring>(&row.data);
            if (name != nullptr && data != nullptr && *data == m_build.deviceName) {
                m_view.AddLdn(*name);
            }
        }
    }
    if (m_view.LdnCount() > 0) {
        m_view.SelectFirstLdn();
    }
}

void FrmMain::RefreshLdnList() {
    m_view.ClearLdnList();
    RefillLdnList();
}

void FrmMain::AddLdnClick() {
    if (CheckAdminAccess() == 0) {
        m_view.ShowNewLdnDialog();
    }
}

void FrmMain::DelLdnClick() {
    if (CheckAdminAccess() != 0) {
        return;
    }
    const std::wstring text = m_view.LdnText();
    if (text.empty()) {
        m_messages.Show(L"No LDN is selected!", L"LDN", Buttons::Ok);
        return;
    }
    const std::wstring name = TrimSpaces(text);
    if (m_messages.Show(L"Delete logical device " + name + L"?", L"Delete Logical Device", Buttons::YesNo) !=
        Answer::Yes) {
        return;
    }
    if (!m_registry.OpenFullAccess(opos::kCashDrawerClassKey)) {
        ShowAdminRefusal();
        return;
    }
    m_registry.DeleteName(opos::kCashDrawerClassKey, name, m_build.deviceName);
    m_view.ClearLdnList();

    const std::int32_t count = StepLdnCount(m_registry, m_build, -1);
    ReportMirrorFailure();
    if (count != 0) {
        RefillLdnList();
    } else {
        m_messages.Show(L"No LDN for " + std::wstring(m_build.deviceName) +
                            L" in the registry, please name a new LDN",
                        L"No LDN", Buttons::Ok);
    }
}

ControlObject& FrmMain::Co() {
    // Created on first use and kept; a failed creation is tried again next time.
    if (!m_co) {
        m_co = m_createControlObject();
        if (!m_co) {
            throw AutomationError(E_POINTER, L"no Control Object");
        }
    }
    return *m_co;
}

template <class Step> void FrmMain::RunTest(const wchar_t* failure, Step step) {
    // The Control Object failing is reported like any other failure, never
    // let through the window procedure.
    try {
        step(Co());
    } catch (const AutomationError& e) {
        m_view.SetResultCode(L"");
        m_view.SetStatus(std::wstring(failure) + L": " + e.Describe());
    } catch (const std::bad_alloc&) {
        m_view.SetResultCode(L"");
        m_view.SetStatus(std::wstring(failure) + L": out of memory");
    }
}

void FrmMain::ShowResult(long code, const wchar_t* success, const wchar_t* failure) {
    m_view.SetResultCode(std::to_wstring(code));
    m_view.SetStatus(code == opos::OPOS_SUCCESS ? success : failure);
}

void FrmMain::OpenClick() {
    RunTest(L"Open failed", [&](ControlObject& co) {
        co.Open(std::wstring(m_build.deviceName));
        ShowResult(co.ResultCode(), L"Open", L"Open failed");
    });
}

void FrmMain::ClaimClick() {
    RunTest(L"Claim failed", [&](ControlObject& co) {
        co.Claim(0);
        ShowResult(co.ResultCode(), L"Claimed", L"Claim failed");
    });
}

void FrmMain::EnableClick() {
    RunTest(L"Enable failed", [&](ControlObject& co) {
        co.SetDeviceEnabled(true);
        ShowResult(co.ResultCode(), L"Enabled", L"Enable failed");
    });
}

void FrmMain::OpenDrawerClick() {
    RunTest(L"Open drawer failed", [&](ControlObject& co) {
        co.OpenDrawer();
        m_view.SetStatus(L"Open drawer");
    });
}

void FrmMain::CheckHealthClick() {
    RunTest(L"CheckHealth failed", [&](ControlObject& co) {
        co.CheckHealth(opos::OPOS_CH_INTERNAL);
        long code = co.ResultCode();
        std::wstring text = co.CheckHealthText();
        m_view.SetResultCode(std::to_wstring(code));
        m_view.SetStatus(text);
    });
}

void FrmMain::ReleaseClick() {
    RunTest(L"Release failed", [&](ControlObject& co) {
        co.ReleaseDevice();
        ShowResult(co.ResultCode(), L"Released", L"Release failed");
    });
}

void FrmMain::CloseClick() {
    RunTest(L"Close failed", [&](ControlObject& co) { ShowResult(co.Close(), L"Closed ", L"Close failed"); });
}

} // namespace vtx::setup
