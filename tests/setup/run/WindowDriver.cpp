#include "WindowDriver.h"

namespace vtx::setup::test {

namespace {
constexpr UINT kSendLimitMs = 60000;

struct Search {
    DWORD processId;
    const wchar_t* windowClass;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM lParam) {
    auto* s = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != s->processId || !IsWindowVisible(window)) {
        return TRUE;
    }
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    if (s->windowClass != nullptr && std::wstring(cls) != s->windowClass) {
        return TRUE;
    }
    if (TextOf(window) != *s->caption) {
        return TRUE;
    }
    s->found = window;
    return FALSE;
}
} // namespace

std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendLimitMs, &length)) {
        return L"<no answer>";
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                        kSendLimitMs, &copied);
    text.resize(copied);
    return text;
}

std::wstring ItemText(HWND parent, int id) {
    return TextOf(GetDlgItem(parent, id));
}

void SetItemText(HWND parent, int id, const std::wstring& text) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetDlgItem(parent, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_NORMAL, kSendLimitMs, &ignored);
}

bool Click(HWND parent, int id) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(GetDlgItem(parent, id), BM_CLICK, 0, 0, SMTO_NORMAL, kSendLimitMs, &ignored) !=
           0;
}

void PostClick(HWND parent, int id) {
    PostMessageW(GetDlgItem(parent, id), BM_CLICK, 0, 0);
}

HWND WaitForWindow(DWORD processId, const wchar_t* windowClass, const std::wstring& caption) {
    Search search{processId, windowClass, &caption, nullptr};
    Eventually([&] {
        EnumWindows(&Match, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    if (search.found != nullptr) {
        // Round trip through its thread: the window has finished its start-up.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_NORMAL, kSendLimitMs, &ignored);
    }
    return search.found;
}

std::wstring MessageText(HWND box) {
    return ItemText(box, 0xFFFF);
}

bool Answer(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    return WaitUntilClosed(box);
}

bool WaitUntilClosed(HWND window) {
    // Hidden counts: Wine destroys a window seconds after hiding it when no
    // window manager confirms the unmapping.
    return Eventually([&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    DWORD_PTR count = 0;
    SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, kSendLimitMs, &count);
    for (WPARAM i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_NORMAL, kSendLimitMs, &length);
        std::wstring text(length + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                            kSendLimitMs, &copied);
        text.resize(copied);
        items.push_back(text);
    }
    return items;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

} // namespace vtx::setup::test
