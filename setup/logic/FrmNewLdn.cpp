// The new logical device dialog's behaviour.
#include "logic/FrmNewLdn.h"

#include "logic/LdnCount.h"
#include "logic/RegistryLayout.h"
#include "logic/TextRules.h"

namespace vtx::setup {

frmNewLDN::frmNewLDN(const BuildProfile& build, NewLdnView& view, SetupRegistry& registry,
                     MessageBoxes& messages, FrmMain& main)
    : m_build(build), m_view(view), m_registry(registry), m_messages(messages), m_main(main) {}

void frmNewLDN::Load() {
    m_view.EnableOk(false);
}

void frmNewLDN::Text1Change() {
    // Once enabled, OK stays enabled even if the text is emptied again.
    if (!m_view.NameText().empty()) {
        m_view.EnableOk(true);
    }
}

void frmNewLDN::CancelClick() {
    m_view.Close();
}

void frmNewLDN::OkClick() {
    const std::wstring name = TrimSpaces(m_view.NameText());
    if (m_messages.Show(L"Add new logical device " + name + L"?", L"LDN Setting", Buttons::YesNo) ==
        Answer::Yes) {
        AddName(name);
    }
    m_view.Close();
}

void frmNewLDN::AddName(const std::wstring& name) {
    if (!m_registry.OpenFullAccess(opos::kCashDrawerClassKey)) {
        m_messages.Show(kAdminOnly, std::wstring(m_build.appTitle), Buttons::Ok);
        return;
    }
    m_registry.WriteName(opos::kCashDrawerClassKey, name, TrimSpaces(m_view.DeviceText()),
                         m_build.deviceName);
    m_main.RefreshLdnList();
    StepLdnCount(m_registry, m_build, 1);
    m_main.ReportMirrorFailure();
}

} // namespace vtx::setup
