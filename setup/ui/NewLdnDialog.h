#pragma once
// frmNewLDN's Win32 side: a modal dialog built without a resource script.
#include "BuildConstants.h"
#include "logic/FrmNewLdn.h"
#include "logic/NewLdnView.h"
#include "ui/FormLayout.h"
#include "ui/GdiObject.h"
#include "adapters/Win32MessageBoxes.h"

#include <windows.h>

namespace vtx::setup {

class NewLdnDialog final : public NewLdnView {
public:
    NewLdnDialog(const BuildProfile& build, SetupRegistry& registry, FrmMain& main);
    NewLdnDialog(const NewLdnDialog&) = delete;
    NewLdnDialog& operator=(const NewLdnDialog&) = delete;

    // Returns when the dialog has closed.
    void ShowModal(HINSTANCE instance, HWND owner);

    void EnableOk(bool enabled) override;
    std::wstring NameText() override;
    std::wstring DeviceText() override;
    void Close() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit();
    void OnCommand(int id, int code);
    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }

    const BuildProfile& m_build;
    HWND m_hwnd = nullptr;
    FormLayout m_layout;
    GdiObject m_whiteBrush;
    Win32MessageBoxes m_messages;
    frmNewLDN m_logic;
};

} // namespace vtx::setup
