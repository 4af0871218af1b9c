#include "DispatchArgs.h"

#include "com/Variant.h"

namespace vtx::co {

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

HRESULT ToText(const VARIANT& v, std::wstring& out) {
    Variant converted;
    HRESULT hr = VariantChangeType(converted.get(), const_cast<VARIANT*>(&v), 0, VT_BSTR);
    if (SUCCEEDED(hr)) {
        BSTR text = V_BSTR(converted.get());
        out.assign(text ? text : L"", text ? SysStringLen(text) : 0u);
    }
    return hr;
}

namespace {
// The VARIANT a VT_BYREF|VT_VARIANT argument points at, made `type` when empty.
VARIANT* InnerOfType(VARIANT& v, VARTYPE type) {
    if (V_VT(&v) != (VT_BYREF | VT_VARIANT) || V_VARIANTREF(&v) == nullptr) {
        return nullptr;
    }
    VARIANT* inner = V_VARIANTREF(&v);
    if (V_VT(inner) == VT_EMPTY) {
        VariantInit(inner);
        V_VT(inner) = type;
    }
    return V_VT(inner) == type ? inner : nullptr;
}
} // namespace

HRESULT LongRef(VARIANT& v, long*& out) {
    out = nullptr;
    if (V_VT(&v) == (VT_BYREF | VT_I4)) {
        out = V_I4REF(&v);
    } else if (VARIANT* inner = InnerOfType(v, VT_I4)) {
        out = &V_I4(inner);
    }
    return out != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT BstrRef(VARIANT& v, BSTR*& out) {
    out = nullptr;
    if (V_VT(&v) == (VT_BYREF | VT_BSTR)) {
        out = V_BSTRREF(&v);
    } else if (VARIANT* inner = InnerOfType(v, VT_BSTR)) {
        out = &V_BSTR(inner);
    }
    return out != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
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

} // namespace vtx::co
