// MessageBoxW with OK or Yes/No buttons, and its answer as the logic names it.
#include "adapters/Win32MessageBoxes.h"

namespace vtx::setup {

Answer Win32MessageBoxes::Show(const std::wstring& text, const std::wstring& title, Buttons buttons) {
    int answer =
        MessageBoxW(m_owner, text.c_str(), title.c_str(), buttons == Buttons::YesNo ? MB_YESNO : MB_OK);
    switch (answer) {
    case IDYES:
        return Answer::Yes;
    case IDNO:
        return Answer::No;
    default:
        return Answer::Ok;
    }
}

} // namespace vtx::setup
