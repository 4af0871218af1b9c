// Automation arguments converted to the types a member takes, and by-reference
// results written back in the caller's own VARIANT type.
#include "com/ArgConversion.h"

namespace vtx {

VARIANT& ArgAt(const DISPPARAMS& params, UINT index) {
    return params.rgvarg[params.cArgs - 1 - index];
}

HRESULT ToLong(const VARIANT& v, long& out) {
    Variant converted;
    HRESULT hr = VariantChangeType(converted.get(), const_cast<VARIANT*>(&v), 0, VT_I4);
    if (SUCCEEDED(hr)) {
        out = V_I4(converted.get());
    }
    return hr;
}

HRESULT ToBool(const VARIANT& v, bool& out) {
    Variant converted;
    HRESULT hr = VariantChangeType(converted.get(), const_cast<VARIANT*>(&v), 0, VT_BOOL);
    if (SUCCEEDED(hr)) {
        out = V_BOOL(converted.get()) != VARIANT_FALSE;
    }
    return hr;
}

HRESULT ToBstr(const VARIANT& v, Variant& out) {
    return VariantChangeType(out.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR);
}

HRESULT ToText(const VARIANT& v, std::wstring& out) {
    Variant converted;
    HRESULT hr = ToBstr(v, converted);
    if (SUCCEEDED(hr)) {
        BSTR text = V_BSTR(converted.get());
        out.assign(text ? text : L"", text ? SysStringLen(text) : 0u);
    }
    return hr;
}

HRESULT ToDispatch(const VARIANT& arg, IDispatch*& out) {
    // Clients that hold Variants pass a reference to one.
    const VARIANT& v =
        V_VT(&arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&arg) != nullptr ? *V_VARIANTREF(&arg) : arg;
    out = nullptr;
    switch (V_VT(&v)) {
    case VT_DISPATCH:
        out = V_DISPATCH(&v);
        return S_OK;
    case VT_DISPATCH | VT_BYREF:
        out = V_DISPATCHREF(&v) ? *V_DISPATCHREF(&v) : nullptr;
        return S_OK;
    case VT_UNKNOWN:
        return V_UNKNOWN(&v) == nullptr ? S_OK : DISP_E_TYPEMISMATCH;
    case VT_EMPTY:
    case VT_NULL:
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

namespace {

// ByRefRule::Exact: where a reference of type `vt` points, or the value of a
// VARIANT by reference holding `vt` (or nothing: it becomes `initial`); null
// for anything else.
void* ExactReference(VARIANT& arg, VARTYPE vt, const VARIANT& initial) {
    if (V_VT(&arg) == (VT_BYREF | vt)) {
        return V_BYREF(&arg);
    }
    if (V_VT(&arg) != (VT_BYREF | VT_VARIANT) || V_VARIANTREF(&arg) == nullptr) {
        return nullptr;
    }
    VARIANT& inner = *V_VARIANTREF(&arg);
    if (V_VT(&inner) == VT_EMPTY) {
        inner = initial;
    }
    if (V_VT(&inner) != vt) {
        return nullptr;
    }
    return vt == VT_BSTR ? static_cast<void*>(&V_BSTR(&inner)) : static_cast<void*>(&V_I4(&inner));
}

bool IsNumber(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL:
    case VT_BOOL:
        return true;
    default:
        return false;
    }
}

// Stores `value` where `ref`, a reference to the same numeric type, points.
void StoreThrough(VARIANT& ref, const VARIANT& value) {
    switch (V_VT(&value)) {
    case VT_I1:
        *V_I1REF(&ref) = V_I1(&value);
        break;
    case VT_UI1:
        *V_UI1REF(&ref) = V_UI1(&value);
        break;
    case VT_I2:
        *V_I2REF(&ref) = V_I2(&value);
        break;
    case VT_UI2:
        *V_UI2REF(&ref) = V_UI2(&value);
        break;
    case VT_I4:
        *V_I4REF(&ref) = V_I4(&value);
        break;
    case VT_UI4:
        *V_UI4REF(&ref) = V_UI4(&value);
        break;
    case VT_INT:
        *V_INTREF(&ref) = V_INT(&value);
        break;
    case VT_UINT:
        *V_UINTREF(&ref) = V_UINT(&value);
        break;
    case VT_I8:
        *V_I8REF(&ref) = V_I8(&value);
        break;
    case VT_UI8:
        *V_UI8REF(&ref) = V_UI8(&value);
        break;
    case VT_R4:
        *V_R4REF(&ref) = V_R4(&value);
        break;
    case VT_R8:
        *V_R8REF(&ref) = V_R8(&value);
        break;
    case VT_CY:
        *V_CYREF(&ref) = V_CY(&value);
        break;
    case VT_BOOL:
        *V_BOOLREF(&ref) = V_BOOL(&value);
        break;
    case VT_DECIMAL: {
        // A DECIMAL inside a VARIANT keeps that VARIANT's type in wReserved.
        DECIMAL& target = *V_DECIMALREF(&ref);
        USHORT reserved = target.wReserved;
        target = V_DECIMAL(&value);
        target.wReserved = reserved;
        break;
    }
    default:
        break;
    }
}

} // namespace

HRESULT LongByRef::Bind(VARIANT& arg, ByRefRule rule) {
    if (rule == ByRefRule::Exact) {
        m_target = static_cast<long*>(ExactReference(arg, VT_I4, LongVariant(0)));
        return m_target != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
    }
    const VARTYPE vt = V_VT(&arg);
    // A value (a client without by-reference variables) is converted as any
    // long argument is, into a temporary nothing is written back from.
    const VARIANT* source = &arg;
    const bool byRef = (vt & VT_BYREF) != 0;
    if (byRef && V_BYREF(&arg) == nullptr) {
        return E_POINTER;
    }
    if (vt == (VT_BYREF | VT_I4)) {
        m_target = V_I4REF(&arg);
        return S_OK;
    }
    if (vt == (VT_BYREF | VT_VARIANT)) {
        VARIANT* inner = V_VARIANTREF(&arg);
        if (V_VT(inner) == VT_I4) {
            m_target = &V_I4(inner);
            return S_OK;
        }
        if (V_VT(inner) != VT_EMPTY && !IsNumber(V_VT(inner))) {
            return DISP_E_TYPEMISMATCH;
        }
        m_inner = inner;
        source = inner;
    } else if (byRef) {
        if (!IsNumber(vt & ~VT_BYREF)) {
            return DISP_E_TYPEMISMATCH;
        }
        m_typed = &arg;
    }
    Variant converted;
    HRESULT hr = VariantChangeType(converted.get(), const_cast<VARIANT*>(source), 0, VT_I4);
    if (FAILED(hr)) {
        m_inner = m_typed = nullptr;
        return hr;
    }
    m_value = V_I4(converted.get());
    m_target = &m_value;
    return S_OK;
}

HRESULT LongByRef::WriteBack() {
    if (m_inner != nullptr) {
        VariantClear(m_inner);
        V_VT(m_inner) = VT_I4;
        V_I4(m_inner) = m_value;
    } else if (m_typed != nullptr) {
        VARIANT result = LongVariant(m_value);
        Variant back;
        HRESULT hr = VariantChangeType(back.get(), &result, 0, V_VT(m_typed) & ~VT_BYREF);
        if (FAILED(hr)) {
            return hr;
        }
        StoreThrough(*m_typed, *back.get());
    }
    return S_OK;
}

HRESULT TextByRef::Bind(VARIANT& arg, ByRefRule rule) {
    if (rule == ByRefRule::Exact) {
        m_target = static_cast<BSTR*>(ExactReference(arg, VT_BSTR, BstrVariant(nullptr)));
        return m_target != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
    }
    // The text the member works on, converted from `source`; `inner`, when
    // given, takes it back.
    auto convert = [this](VARIANT& source, VARIANT* inner) {
        HRESULT hr = VariantChangeType(m_text.get(), &source, 0, VT_BSTR);
        if (SUCCEEDED(hr)) {
            m_inner = inner;
            m_target = &V_BSTR(m_text.get());
        }
        return hr;
    };
    const VARTYPE vt = V_VT(&arg);
    if ((vt & VT_BYREF) == 0) {
        return convert(arg, nullptr); // a value: a temporary, dropped after the call
    }
    if (vt != (VT_BYREF | VT_BSTR) && vt != (VT_BYREF | VT_VARIANT)) {
        return DISP_E_TYPEMISMATCH;
    }
    if (V_BYREF(&arg) == nullptr) {
        return E_POINTER;
    }
    if (vt == (VT_BYREF | VT_BSTR)) {
        m_target = V_BSTRREF(&arg);
        return S_OK;
    }
    VARIANT* inner = V_VARIANTREF(&arg);
    if (V_VT(inner) == VT_BSTR) {
        m_target = &V_BSTR(inner);
        return S_OK;
    }
    if ((V_VT(inner) & VT_BYREF) != 0) {
        return DISP_E_TYPEMISMATCH; // no reference to a reference
    }
    return convert(*inner, inner);
}

void TextByRef::WriteBack() {
    if (m_inner != nullptr) {
        VariantClear(m_inner);
        // The text moves to the caller's VARIANT.
        *m_inner = *m_text.get();
        VariantInit(m_text.get());
        m_inner = nullptr;
    }
}

void SetLong(VARIANT* result, long value) {
    if (result != nullptr) {
        VariantInit(result);
        V_VT(result) = VT_I4;
        V_I4(result) = value;
    }
}

void SetBool(VARIANT* result, bool value) {
    if (result != nullptr) {
        VariantInit(result);
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
}

void SetText(VARIANT* result, BSTR text) {
    if (result == nullptr) {
        SysFreeString(text);
        return;
    }
    VariantInit(result);
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = text;
}

} // namespace vtx
