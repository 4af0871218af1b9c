#pragma once
// Drives another process's windows as a user would, through messages.
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace vtx::setup::test {

// Generous guard against a hung utility; never a performance limit.
inline constexpr std::chrono::seconds kGuard{60};

std::wstring TextOf(HWND window);
std::wstring ItemText(HWND parent, int id);
void SetItemText(HWND parent, int id, const std::wstring& text);
// BM_CLICK, waiting for the click's handler to finish.
bool Click(HWND parent, int id);
// BM_CLICK without waiting: for buttons that open a modal window.
void PostClick(HWND parent, int id);
// A top-level window of the process with this class and caption, once it is
// there and idle; null after the guard time.
HWND WaitForWindow(DWORD processId, const wchar_t* windowClass, const std::wstring& caption);
// A message box's text (static control 65535).
std::wstring MessageText(HWND box);
// Presses IDOK, IDYES or IDNO in a message box and waits for it to close.
bool Answer(HWND box, int button);
// Waits until the window is hidden or destroyed.
bool WaitUntilClosed(HWND window);
std::vector<std::wstring> ComboItems(HWND combo);
// The window that has the keyboard focus on the thread that owns `window`.
HWND FocusOf(HWND window);
// Polls a condition until it holds or the guard time passes.
template <class Condition> bool Eventually(Condition condition) {
    auto end = std::chrono::steady_clock::now() + kGuard;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

} // namespace vtx::setup::test
