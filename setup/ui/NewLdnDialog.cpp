// The new logical device dialog: an in-memory template, controls created at
// initialisation, and events forwarded to FrmNewLdn.
#include "ui/NewLdnDialog.h"

#include "ui/ControlIds.h"
#include "ui/WindowText.h"

#include <array>
#include <cstring>
#include <exception>
#include <string>

namespace vtx::setup {

namespace {

constexpr int kClientWidth = 4320;
constexpr int kClientHeight = 2370;
constexpr COLORREF kWhite = RGB(255, 255, 255);

constexpr DWORD kLabel = WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX;
// Neither button is the default or the cancel button.
constexpr DWORD kButton = WS_CLIPSIBLINGS | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;

// In focus order; the labels take no focus.
std::array<ControlPlacement, 6> DialogControls(const wchar_t* deviceName) {
    return {{
        {kNewLdnText1, L"EDIT", L"", WS_CLIPSIBLINGS | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL,
         WS_EX_CLIENTEDGE, 2280, 1080, 1695, 405, FontKind::Bold},
        {kNewLdnCommand1, L"BUTTON", L"OK", kButton, 0, 840, 1680, 1095, 375, FontKind::Bold},
        {kNewLdnCommand2, L"BUTTON", L"Cancel", kButton, 0, 2400, 1680, 1095, 375, FontKind::Bold},
        {kNewLdnD, L"STATIC", L"Device Type", kLabel, 0, 360, 600, 1335, 255, FontKind::Bold},
        {kNewLdnLabel2, L"STATIC", deviceName, kLabel | WS_BORDER, 0, 2280, 600, 1695, 375, FontKind::Bold},
        {kNewLdnLabel1, L"STATIC", L"Logical Device Name", kLabel, 0, 360, 1200, 1935, 255, FontKind::Bold},
    }};
}

// A dialog template with no controls: they are created at initialisation,
// placed in twips like the main window's.
class DialogTemplate {
public:
    DialogTemplate() {
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        const DWORD exStyle = 0;
        std::memcpy(&m_words[0], &style, sizeof style);
        std::memcpy(&m_words[2], &exStyle, sizeof exStyle);
        // cdit, x, y, cx, cy, menu and class all zero; then the caption.
        size_t at = 11;
        for (const wchar_t* c = kNewLdnCaption; *c != L'\0'; ++c) {
            m_words[at++] = static_cast<WORD>(*c);
        }
        m_words[at] = 0;
    }
    const DLGTEMPLATE* get() const noexcept { return reinterpret_cast<const DLGTEMPLATE*>(m_words); }

private:
    alignas(DWORD) WORD m_words[32] = {};
};

} // namespace

NewLdnDialog::NewLdnDialog(const BuildProfile& build, SetupRegistry& registry, FrmMain& main)
    : m_build(build), m_whiteBrush(CreateSolidBrush(kWhite)),
      m_logic(build, *this, registry, m_messages, main) {}

void NewLdnDialog::ShowModal(HINSTANCE instance, HWND owner) {
    DialogTemplate dialog;
    DialogBoxIndirectParamW(instance, dialog.get(), owner, &NewLdnDialog::DialogProc,
                            reinterpret_cast<LPARAM>(this));
    m_hwnd = nullptr;
}

INT_PTR CALLBACK NewLdnDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<NewLdnDialog*>(lParam);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<NewLdnDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's frames; the action is dropped.
        return TRUE;
    }
}

INT_PTR NewLdnDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        return FALSE; // the focus is set already
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == Item(kNewLdnLabel2)) {
            SetBkColor(reinterpret_cast<HDC>(wParam), kWhite);
            return reinterpret_cast<INT_PTR>(m_whiteBrush.brush());
        }
        return FALSE;
    case WM_CLOSE:
        // Closing the window is a cancel: nothing is written.
        m_logic.CancelClick();
        return TRUE;
    default:
        return FALSE;
    }
}

void NewLdnDialog::OnInit() {
    const std::wstring device(m_build.deviceName);
    m_layout.Create(m_hwnd, DialogControls(device.c_str()));
    m_layout.SizeAndPlace(m_hwnd, kClientWidth, kClientHeight);
    m_messages.SetOwner(m_hwnd);
    m_logic.Load();
    SetFocus(Item(kNewLdnText1));
}

void NewLdnDialog::OnCommand(int id, int code) {
    // IDCANCEL from the Escape key is ignored: the dialog has no cancel button.
    if (id == kNewLdnText1 && code == EN_CHANGE) {
        m_logic.Text1Change();
    } else if (id == kNewLdnCommand1 && code == BN_CLICKED) {
        m_logic.OkClick();
    } else if (id == kNewLdnCommand2 && code == BN_CLICKED) {
        m_logic.CancelClick();
    }
}

void NewLdnDialog::EnableOk(bool enabled) {
    EnableWindow(Item(kNewLdnCommand1), enabled ? TRUE : FALSE);
}

std::wstring NewLdnDialog::NameText() {
    return WindowText(Item(kNewLdnText1));
}

std::wstring NewLdnDialog::DeviceText() {
    return WindowText(Item(kNewLdnLabel2));
}

void NewLdnDialog::Close() {
    EndDialog(m_hwnd, 0);
}

} // namespace vtx::setup
