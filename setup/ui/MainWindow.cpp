// The main window: its class, controls, message loop and message handling; control
// events go to FrmMain, and FrmMain's requests come back through MainView.
#include "ui/MainWindow.h"

#include "ui/ControlIds.h"
#include "ui/NewLdnDialog.h"
#include "ui/WindowText.h"

#include <exception>

namespace vtx::setup {

namespace {

constexpr wchar_t kWindowClass[] = L"VtxCashDrawerSetup";
// The port box's store runs after the focus has settled, never inside the
// focus change itself (it may show a message box).
constexpr UINT kPortLostFocus = WM_APP + 1;
constexpr int kClientWidth = 4485;
constexpr int kClientHeight = 6720;
constexpr COLORREF kLabelGrey = RGB(224, 224, 224);
// Room for the drop-down list below a combo box's edit field.
constexpr int kDropDown = 2400;

constexpr DWORD kLabel = WS_CLIPSIBLINGS | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kBoxedLabel = kLabel | WS_BORDER;
constexpr DWORD kButton = WS_CLIPSIBLINGS | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;
constexpr DWORD kCombo =
    WS_CLIPSIBLINGS | WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
// The frame's buttons are placed relative to it.
constexpr int kFrameLeft = 720;
constexpr int kFrameTop = 1320;

// In focus order; labels and the frame take no focus and come last.
constexpr ControlPlacement kControls[] = {
    {kCmdExit, L"BUTTON", L"Exit", kButton, 0, 1560, 6240, 1290, 420, FontKind::Bold},
    {kCmdClose, L"BUTTON", L"Close", kButton, 0, kFrameLeft + 840, kFrameTop + 3120, 1290, 420,
     FontKind::Bold},
    {kCmdRelease, L"BUTTON", L"Release", kButton, 0, kFrameLeft + 840, kFrameTop + 2640, 1290, 420,
     FontKind::Bold},
    {kCmdClaim, L"BUTTON", L"Claim", kButton, 0, kFrameLeft + 840, kFrameTop + 720, 1290, 420,
     FontKind::Bold},
    {kCmdOpen, L"BUTTON", L"Open", kButton, 0, kFrameLeft + 840, kFrameTop + 240, 1290, 420, FontKind::Bold},
    {kCmdOpenDrawer, L"BUTTON", L"Open Drawer", kButton, 0, kFrameLeft + 840, kFrameTop + 1680, 1290, 420,
     FontKind::Bold},
    {kCmdCheckHealth, L"BUTTON", L"CheckHealth", kButton, 0, kFrameLeft + 840, kFrameTop + 2160, 1290, 420,
     FontKind::Bold},
    {kComboPort, L"COMBOBOX", L"ComboPort", kCombo, 0, 1440, 240, 2025, 315 + kDropDown, FontKind::Bold},
    {kCommand1Enable, L"BUTTON", L"Enable", kButton, 0, kFrameLeft + 840, kFrameTop + 1200, 1290, 420,
     FontKind::Bold},
    {kCmbLdn, L"COMBOBOX", L"", kCombo, 0, 1440, 720, 1335, 315 + kDropDown, FontKind::Bold},
    {kCmdAdd, L"BUTTON", L"Add LDN", kButton, 0, 3000, 600, 975, 255, FontKind::Bold},
    {kCmdDel, L"BUTTON", L"Del LDN", kButton, 0, 3000, 960, 975, 255, FontKind::Bold},
    {kLabel3, L"STATIC", L"Port:", kLabel, 0, 840, 360, 495, 225, FontKind::Bold},
    {kLabel4, L"STATIC", L"LDN ", kLabel, 0, 840, 840, 615, 255, FontKind::Bold},
    {kLabel2Status, L"STATIC", L"Status:", kLabel, 0, 600, 5160, 615, 225, FontKind::Regular},
    {kLblStatus, L"STATIC", L"", kBoxedLabel, 0, 1560, 5160, 2145, 450, FontKind::Regular},
    {kLabel1ResultCode, L"STATIC", L"ResultCode:", kLabel, 0, 600, 5760, 855, 345, FontKind::Regular},
    {kLblResultCode, L"STATIC", L"", kBoxedLabel, 0, 1560, 5760, 2145, 330, FontKind::Regular},
    {kFrame1, L"BUTTON", L"Method", WS_CLIPSIBLINGS | BS_GROUPBOX, 0, kFrameLeft, kFrameTop, 2985, 3735,
     FontKind::Bold},
};

} // namespace

MainWindow::MainWindow(HINSTANCE instance, const BuildProfile& build,
                       ControlObjectFactory createControlObject)
    : m_instance(instance), m_build(build), m_labelBrush(CreateSolidBrush(kLabelGrey)),
      m_logic(build, *this, m_registry, m_ports, m_messages, std::move(createControlObject)) {}

MainWindow::~MainWindow() {
    if (m_hwnd != nullptr) {
        m_unloading = true;
        DestroyWindow(m_hwnd);
    }
}

bool MainWindow::Create() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MainWindow::WindowProc;
    wc.hInstance = m_instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);

    const std::wstring caption(m_build.caption);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    if (CreateWindowExW(0, kWindowClass, caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, m_instance, this) == nullptr) {
        return false;
    }
    m_layout.Create(m_hwnd, kControls);
    m_layout.SizeAndPlace(m_hwnd, kClientWidth, kClientHeight);
    m_messages.SetOwner(m_hwnd);
    m_logic.Load();
    ShowWindow(m_hwnd, SW_SHOW);
    UpdateWindow(m_hwnd);
    SetFocus(Item(kCmdExit));
    return true;
}

int MainWindow::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (m_hwnd == nullptr || !IsDialogMessageW(m_hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return 0;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    try {
        return self->Handle(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's frames; the action is dropped.
        return 0;
    }
}

LRESULT MainWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = m_hwnd;
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case kPortLostFocus: {
        // Only a move to another of our controls counts; switching to another
        // program leaves the typed text alone.
        HWND focus = GetFocus();
        HWND portBox = Item(kComboPort);
        if (!m_unloading && focus != nullptr && IsChild(hwnd, focus) && focus != portBox &&
            !IsChild(portBox, focus)) {
            m_logic.PortBoxLostFocus();
        }
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(hwnd, focus)) {
                m_lastFocus = focus;
            }
        } else if (HIWORD(wParam) == 0) {
            HWND target = m_lastFocus;
            if (target == nullptr || !IsChild(hwnd, target) || !IsWindowEnabled(target) ||
                !IsWindowVisible(target)) {
                target = Item(kCmdExit);
            }
            SetFocus(target);
        }
        return 0;
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lParam);
        if (control == Item(kLblStatus) || control == Item(kLblResultCode)) {
            SetBkColor(reinterpret_cast<HDC>(wParam), kLabelGrey);
            return reinterpret_cast<LRESULT>(m_labelBrush.brush());
        }
        break;
    }
    case DM_GETDEFID: {
        // Enter presses the button that has the focus, as Space does.
        HWND focus = GetFocus();
        wchar_t cls[16] = {};
        if (focus != nullptr && GetParent(focus) == hwnd && GetClassNameW(focus, cls, 16) > 0 &&
            lstrcmpiW(cls, L"Button") == 0) {
            return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
        }
        return 0;
    }
    case WM_CLOSE:
        Unload();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void MainWindow::OnCommand(int id, int code) {
    if (id == kComboPort) {
        if (code == CBN_KILLFOCUS && !m_unloading) {
            PostMessageW(m_hwnd, kPortLostFocus, 0, 0);
        }
        return;
    }
    if (code != BN_CLICKED) {
        return;
    }
    switch (id) {
    case kCmdAdd:
        m_logic.AddLdnClick();
        break;
    case kCmdDel:
        m_logic.DelLdnClick();
        break;
    case kCmdOpen:
        m_logic.OpenClick();
        break;
    case kCmdClaim:
        m_logic.ClaimClick();
        break;
    case kCommand1Enable:
        m_logic.EnableClick();
        break;
    case kCmdOpenDrawer:
        m_logic.OpenDrawerClick();
        break;
    case kCmdCheckHealth:
        m_logic.CheckHealthClick();
        break;
    case kCmdRelease:
        m_logic.ReleaseClick();
        break;
    case kCmdClose:
        m_logic.CloseClick();
        break;
    case kCmdExit:
        Unload();
        break;
    default:
        break;
    }
}

void MainWindow::Unload() {
    // No call on the Control Object: whatever state it is in ends with the window.
    m_unloading = true;
    DestroyWindow(m_hwnd);
}

std::wstring MainWindow::PortText() {
    return WindowText(Item(kComboPort));
}

void MainWindow::SetPortText(const std::wstring& text) {
    SetWindowTextW(Item(kComboPort), text.c_str());
}

void MainWindow::AddPortChoice(const std::wstring& port) {
    SendMessageW(Item(kComboPort), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.c_str()));
}

void MainWindow::DisablePortBox() {
    EnableWindow(Item(kComboPort), FALSE);
}

std::wstring MainWindow::LdnText() {
    return WindowText(Item(kCmbLdn));
}

void MainWindow::ClearLdnList() {
    SendMessageW(Item(kCmbLdn), CB_RESETCONTENT, 0, 0);
    SetWindowTextW(Item(kCmbLdn), L"");
}

void MainWindow::AddLdn(const std::wstring& name) {
    SendMessageW(Item(kCmbLdn), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

int MainWindow::LdnCount() {
    LRESULT n = SendMessageW(Item(kCmbLdn), CB_GETCOUNT, 0, 0);
    return n > 0 ? static_cast<int>(n) : 0;
}

void MainWindow::SelectFirstLdn() {
    SendMessageW(Item(kCmbLdn), CB_SETCURSEL, 0, 0);
}

void MainWindow::SetStatus(const std::wstring& text) {
    SetWindowTextW(Item(kLblStatus), text.c_str());
}

void MainWindow::SetResultCode(const std::wstring& text) {
    SetWindowTextW(Item(kLblResultCode), text.c_str());
}

void MainWindow::ShowPolicySettings(const std::wstring& text) {
    // A terminal without a policy keeps the window as it always was; the line goes below Exit.
    if (text.empty()) {
        return;
    }
    static constexpr int kLineHeight = 900;
    static constexpr ControlPlacement kPolicyLine[] = {{kLblPolicy, L"STATIC", L"", kLabel, 0, 120,
                                                        kClientHeight, kClientWidth - 240, kLineHeight - 60,
                                                        FontKind::Regular}};
    m_layout.Create(m_hwnd, kPolicyLine);
    SetWindowTextW(Item(kLblPolicy), text.c_str());
    m_layout.SizeAndPlace(m_hwnd, kClientWidth, kClientHeight + kLineHeight);
}

void MainWindow::ShowNewLdnDialog() {
    NewLdnDialog dialog(m_build, m_registry, m_logic);
    dialog.ShowModal(m_instance, m_hwnd);
}

} // namespace vtx::setup
