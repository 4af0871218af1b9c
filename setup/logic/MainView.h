#pragma once
// The main window's controls as its logic sees them: MainWindow in the program, fakes in tests.
#include <string>

namespace vtx::setup {

class MainView {
public:
    virtual ~MainView() = default;
    virtual std::wstring PortText() = 0;
    virtual void SetPortText(const std::wstring& text) = 0;
    virtual void AddPortChoice(const std::wstring& port) = 0;
    virtual void DisablePortBox() = 0;

    virtual std::wstring LdnText() = 0;
    virtual void ClearLdnList() = 0;
    virtual void AddLdn(const std::wstring& name) = 0;
    virtual int LdnCount() = 0;
    virtual void SelectFirstLdn() = 0;

    virtual void SetStatus(const std::wstring& text) = 0;
    virtual void SetResultCode(const std::wstring& text) = 0;
    // The device values Group Policy sets, shown read-only; nothing is shown for empty text.
    virtual void ShowPolicySettings(const std::wstring& text) = 0;

    // Shows the new logical device dialog modally; returns when it has closed.
    virtual void ShowNewLdnDialog() = 0;
};

} // namespace vtx::setup
