#pragma once
// Message boxes through MessageBoxW, modal to their owner window, without an icon.
#include "logic/MessageBoxes.h"

#include <windows.h>

namespace vtx::setup {

class Win32MessageBoxes final : public MessageBoxes {
public:
    explicit Win32MessageBoxes(HWND owner = nullptr) : m_owner(owner) {}
    void SetOwner(HWND owner) noexcept { m_owner = owner; }
    Answer Show(const std::wstring& text, const std::wstring& title, Buttons buttons) override;

private:
    HWND m_owner;
};

} // namespace vtx::setup
