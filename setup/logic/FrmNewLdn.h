#pragma once
// The new logical device dialog's behaviour, apart from its Win32 controls.
#include "BuildConstants.h"
#include "logic/FrmMain.h"
#include "logic/MessageBoxes.h"
#include "logic/NewLdnView.h"
#include "logic/SetupRegistry.h"

namespace vtx::setup {

class frmNewLDN {
public:
    frmNewLDN(const BuildProfile& build, NewLdnView& view, SetupRegistry& registry, MessageBoxes& messages,
              FrmMain& main);

    void Load();
    void Text1Change();
    void OkClick();
    void CancelClick();

private:
    void AddName(const std::wstring& name);

    const BuildProfile& m_build;
    NewLdnView& m_view;
    SetupRegistry& m_registry;
    MessageBoxes& m_messages;
    FrmMain& m_main;
};

} // namespace vtx::setup
