#pragma once
// The main window's behaviour: the port box, the logical device list and the
// drawer test, apart from the Win32 controls (MainView) so it runs with fakes.
#include "BuildConstants.h"
#include "logic/ControlObject.h"
#include "logic/MainView.h"
#include "logic/MessageBoxes.h"
#include "logic/PortProbe.h"
#include "logic/SetupRegistry.h"

#include <memory>
#include <string>

namespace vtx::setup {

class FrmMain {
public:
    FrmMain(const BuildProfile& build, MainView& view, SetupRegistry& registry, PortProbe& ports,
            MessageBoxes& messages, ControlObjectFactory createControlObject);

    // Start-up: port setting, logical device list, ports offered.
    void Load();
    void PortBoxLostFocus();
    void AddLdnClick();
    void DelLdnClick();

    void OpenClick();
    void ClaimClick();
    void EnableClick();
    void OpenDrawerClick();
    void CheckHealthClick();
    void ReleaseClick();
    void CloseClick();

    // 1 when the user may not change the registry (after telling him), else 0.
    short CheckAdminAccess();
    // Lists every class key value naming this build's device, then selects the first.
    void RefillLdnList();
    // Empties the list, then refills it (after an add in the dialog).
    void RefreshLdnList();
    // Tells the user in the status label when a change missed the other registry view.
    void ReportMirrorFailure();

    void LoadPortSetting();
    // Shows which device values the machine's policy sets: no control here changes them.
    void LoadPolicySettings();
    void LoadLdnList();
    bool ProbeComPort(short n);
    bool ProbeLptPort(short n);

private:
    template <class Step> void RunTest(const wchar_t* failure, Step step);
    ControlObject& Co();
    void ShowResult(long code, const wchar_t* success, const wchar_t* failure);
    void ShowAdminRefusal();

    const BuildProfile& m_build;
    MainView& m_view;
    SetupRegistry& m_registry;
    PortProbe& m_ports;
    MessageBoxes& m_messages;
    ControlObjectFactory m_createControlObject;
    std::unique_ptr<ControlObject> m_co;
};

// Texts the windows show.
inline constexpr wchar_t kMirrorFailed[] = L"Saved, but not for the other registry view";
inline constexpr wchar_t kSetByPolicy[] = L"Set by Group Policy for every device, not changed here: ";
inline constexpr wchar_t kAdminOnly[] = L"Only administrator of this computer can setup the OPOS!";

} // namespace vtx::setup
