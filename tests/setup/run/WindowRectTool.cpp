// For the screenshot script: waits for the main window of a build of the
// utility, makes it repaint, and prints its rectangle as an X geometry
// ("WxH+X+Y"). Exits 1 when no such window appears within a minute.
//
//   windowrect.exe usb|serial
#include "BuildConstants.h"

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    const std::wstring build = argc == 2 ? argv[1] : L"";
    if (build != L"usb" && build != L"serial") {
        std::fprintf(stderr, "usage: windowrect usb|serial\n");
        return 2;
    }
    const std::wstring caption(build == L"usb" ? vtx::setup::kUsbBuild.caption
                                               : vtx::setup::kSerialBuild.caption);
    const DWORD start = GetTickCount();
    HWND window = nullptr;
    while ((window = FindWindowW(nullptr, caption.c_str())) == nullptr || !IsWindowVisible(window)) {
        if (GetTickCount() - start > 60000) {
            std::fprintf(stderr, "windowrect: no window found\n");
            return 1;
        }
        Sleep(50);
    }
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
    RECT r{};
    GetWindowRect(window, &r);
    std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    return 0;
}
