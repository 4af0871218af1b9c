#pragma once
// Owner of a VARIANT: cleared on destruction.
#include <windows.h>
#include <oleauto.h>

namespace vtx {

class Variant {
public:
    Variant() noexcept { VariantInit(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    // A VARIANT moves by bitwise copy; the source is left empty.
    Variant(Variant&& other) noexcept : m_v(other.m_v) { VariantInit(&other.m_v); }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&m_v);
            m_v = other.m_v;
            VariantInit(&other.m_v);
        }
        return *this;
    }
    ~Variant() { VariantClear(&m_v); }

    VARIANT* get() noexcept { return &m_v; }
    const VARIANT* get() const noexcept { return &m_v; }
    VARIANT* operator->() noexcept { return &m_v; }
    const VARIANT* operator->() const noexcept { return &m_v; }
    void clear() noexcept { VariantClear(&m_v); }

private:
    VARIANT m_v;
};

} // namespace vtx
