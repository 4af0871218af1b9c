#pragma once
// Places controls given in twips on a window, at the screen's DPI, with the
// fonts of the forms ("MS Sans Serif" 8.25 points, bold or regular).
#include "ui/GdiObject.h"

#include <windows.h>

#include <span>

namespace vtx::setup {

enum class FontKind { Bold, Regular };

struct ControlPlacement {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;
    DWORD exStyle;
    int left, top, width, height; // twips, relative to the client area
    FontKind font;
};

class FormLayout {
public:
    FormLayout();

    int X(int twips) const noexcept { return MulDiv(twips, m_dpiX, 1440); }
    int Y(int twips) const noexcept { return MulDiv(twips, m_dpiY, 1440); }

    // Creates the controls in the order given, which is their focus order.
    void Create(HWND parent, std::span<const ControlPlacement> controls) const;

    // Sizes the window so its client area has these dimensions (twips), placed
    // a third of the way down and centred across the screen.
    void SizeAndPlace(HWND window, int clientWidth, int clientHeight) const;

private:
    int m_dpiX = 96;
    int m_dpiY = 96;
    GdiObject m_bold;
    GdiObject m_regular;
};

} // namespace vtx::setup
