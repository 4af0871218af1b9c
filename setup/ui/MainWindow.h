#pragma once
// FrmMain's Win32 side: creates the controls, forwards their events to the
// logic and carries out what the logic asks of the controls.
#include "BuildConstants.h"
#include "logic/FrmMain.h"
#include "logic/MainView.h"
#include "adapters/Win32PortProbe.h"
#include "adapters/Win32SetupRegistry.h"
#include "ui/FormLayout.h"
#include "ui/GdiObject.h"
#include "adapters/Win32MessageBoxes.h"

#include <windows.h>

namespace vtx::setup {

class MainWindow final : public MainView {
public:
    MainWindow(HINSTANCE instance, const BuildProfile& build, ControlObjectFactory createControlObject);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window, runs start-up and shows it; false when no window can be made.
    bool Create();
    // The message loop; returns when the window has been unloaded.
    int Run();

    std::wstring PortText() override;
    void SetPortText(const std::wstring& text) override;
    void AddPortChoice(const std::wstring& port) override;
    void DisablePortBox() override;
    std::wstring LdnText() override;
    void ClearLdnList() override;
    void AddLdn(const std::wstring& name) override;
    int LdnCount() override;
    void SelectFirstLdn() override;
    void SetStatus(const std::wstring& text) override;
    void SetResultCode(const std::wstring& text) override;
    void ShowPolicySettings(const std::wstring& text) override;
    void ShowNewLdnDialog() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void Unload();
    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }

    HINSTANCE m_instance;
    const BuildProfile& m_build;
    HWND m_hwnd = nullptr;
    bool m_unloading = false;
    // The control that had the focus when the window was last deactivated (a
    // message box, the new-name dialog or another program took over).
    HWND m_lastFocus = nullptr;
    FormLayout m_layout;
    GdiObject m_labelBrush;
    Win32SetupRegistry m_registry;
    Win32PortProbe m_ports;
    Win32MessageBoxes m_messages;
    FrmMain m_logic;
};

} // namespace vtx::setup
