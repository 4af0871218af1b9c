// How a failed Control Object call reads on the status label: its text and its HRESULT.
#include "logic/AutomationError.h"

#include <cwchar>

namespace vtx::setup {

std::wstring AutomationError::Describe() const {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(m_hr));
    if (m_text.empty()) {
        return code;
    }
    return m_text + L" (" + code + L")";
}

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", n);
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    return text;
}

} // namespace vtx::setup
