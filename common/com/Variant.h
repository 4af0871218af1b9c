#pragma once
// Owner of a VARIANT (cleared on destruction), and builders of the lent VARIANTs an Invoke takes.
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

// Arguments for an Invoke: plain VARIANTs that own nothing. A string, an
// interface or a referenced variable in one stays the caller's, lent for the
// call; none of them needs clearing.
template <class Fill> VARIANT TypedVariant(VARTYPE type, Fill fill) noexcept {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    fill(v);
    return v;
}
inline VARIANT LongVariant(long value) noexcept {
    return TypedVariant(VT_I4, [value](VARIANT& v) { V_I4(&v) = value; });
}
inline VARIANT BoolVariant(bool value) noexcept {
    return TypedVariant(VT_BOOL, [value](VARIANT& v) { V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE; });
}
inline VARIANT BstrVariant(BSTR value) noexcept {
    return TypedVariant(VT_BSTR, [value](VARIANT& v) { V_BSTR(&v) = value; });
}
inline VARIANT DispatchVariant(IDispatch* value) noexcept {
    return TypedVariant(VT_DISPATCH, [value](VARIANT& v) { V_DISPATCH(&v) = value; });
}
inline VARIANT LongRefVariant(long* value) noexcept {
    return TypedVariant(VT_BYREF | VT_I4, [value](VARIANT& v) { V_I4REF(&v) = value; });
}
inline VARIANT BstrRefVariant(BSTR* value) noexcept {
    return TypedVariant(VT_BYREF | VT_BSTR, [value](VARIANT& v) { V_BSTRREF(&v) = value; });
}

} // namespace vtx
