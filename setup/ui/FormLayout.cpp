// Creating a window's controls from twips at the screen's DPI, with the forms' fonts,
// and sizing and placing the window itself.
#include "ui/FormLayout.h"

namespace vtx::setup {

namespace {
HFONT MakeFont(int dpiY, int weight) {
    // 8.25 points, the size the forms use.
    return CreateFontW(-MulDiv(825, dpiY, 7200), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       L"MS Sans Serif");
}
} // namespace

FormLayout::FormLayout() {
    if (HDC screen = GetDC(nullptr)) {
        m_dpiX = GetDeviceCaps(screen, LOGPIXELSX);
        m_dpiY = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    m_bold.reset(MakeFont(m_dpiY, FW_BOLD));
    m_regular.reset(MakeFont(m_dpiY, FW_NORMAL));
}

void FormLayout::Create(HWND parent, std::span<const ControlPlacement> controls) const {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    for (const ControlPlacement& c : controls) {
        HWND control = CreateWindowExW(
            c.exStyle, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style, X(c.left), Y(c.top), X(c.width),
            Y(c.height), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
        if (control != nullptr) {
            HFONT font = c.font == FontKind::Bold ? m_bold.font() : m_regular.font();
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
    }
}

void FormLayout::SizeAndPlace(HWND window, int clientWidth, int clientHeight) const {
    RECT frame{0, 0, X(clientWidth), Y(clientHeight)};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 3;
    SetWindowPos(window, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace vtx::setup
