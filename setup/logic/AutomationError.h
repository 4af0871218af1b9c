#pragma once
// A failure of the Control Object itself, as opposed to a result code, and the
// system's text for an HRESULT to describe it with.
#include <windows.h>

#include <stdexcept>
#include <string>

namespace vtx::setup {

class AutomationError : public std::runtime_error {
public:
    AutomationError(HRESULT hr, std::wstring text)
        : std::runtime_error("Control Object call failed"), m_hr(hr), m_text(std::move(text)) {}

    HRESULT Hresult() const noexcept { return m_hr; }
    const std::wstring& Text() const noexcept { return m_text; }
    // "text (0x80004005)", for the status label.
    std::wstring Describe() const;

private:
    HRESULT m_hr;
    std::wstring m_text;
};

// The system's text for an HRESULT, or empty.
std::wstring SystemMessage(HRESULT hr);

} // namespace vtx::setup
