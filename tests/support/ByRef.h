#pragma once
// Arguments passed by reference, as clients pass out parameters: the VARIANT points at the caller's variable,
// which keeps its ownership (free a BSTR or clear a VARIANT it points at yourself).
#include "com/Variant.h"

#include <windows.h>
#include <oaidl.h>

namespace vtx::test {

// A VARIANT of type VT_BYREF | vt pointing at `target`.
inline VARIANT RefTo(VARTYPE vt, void* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = static_cast<VARTYPE>(VT_BYREF | vt);
    V_BYREF(&v) = target;
    return v;
}

inline VARIANT LongRef(long* target) {
    return RefTo(VT_I4, target);
}
inline VARIANT BstrRef(BSTR* target) {
    return RefTo(VT_BSTR, target);
}
// As Visual Basic passes a variable: a reference to the VARIANT holding it.
inline VARIANT VariantRef(VARIANT* target) {
    return RefTo(VT_VARIANT, target);
}

// Text held in a VARIANT, as a Visual Basic variable holds it: pass it as VariantRef(held.get()).
inline Variant HeldText(const wchar_t* text) {
    Variant held;
    V_VT(held.get()) = VT_BSTR;
    V_BSTR(held.get()) = SysAllocString(text);
    return held;
}

} // namespace vtx::test
