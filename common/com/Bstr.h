#pragma once
// Owner of a BSTR: freed on destruction or reset.
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string_view>
#include <utility>

namespace vtx {

class Bstr {
public:
    Bstr() noexcept = default;
    // Throws std::bad_alloc when the string cannot be allocated.
    explicit Bstr(std::wstring_view text)
        : m_s(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (m_s == nullptr) {
            throw std::bad_alloc();
        }
    }
    static Bstr Attach(BSTR s) noexcept {
        Bstr b;
        b.m_s = s;
        return b;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : m_s(std::exchange(other.m_s, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_s, nullptr));
        }
        return *this;
    }
    ~Bstr() { reset(); }

    BSTR get() const noexcept { return m_s; }
    BSTR* put() noexcept {
        reset();
        return &m_s;
    }
    BSTR release() noexcept { return std::exchange(m_s, nullptr); }
    std::wstring_view view() const noexcept { return {m_s ? m_s : L"", m_s ? SysStringLen(m_s) : 0u}; }
    void reset(BSTR s = nullptr) noexcept {
        if (m_s != nullptr) {
            SysFreeString(m_s);
        }
        m_s = s;
    }

private:
    BSTR m_s = nullptr;
};

} // namespace vtx
