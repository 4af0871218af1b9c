#pragma once
// Automation argument handling for the Control Object's IDispatch.
#include <windows.h>
#include <oaidl.h>

#include <string>

namespace vtx::co {

// GetIDsOfNames over a fixed table of entries with `name` and `id`: the
// member name in names[0], case-insensitive. Parameter names are not
// offered, so any further name is unknown.
template <class Table>
HRESULT LookUpNames(const Table& table, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (count == 0) {
        return S_OK;
    }
    if (names == nullptr || ids == nullptr) {
        return E_INVALIDARG;
    }
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    for (const auto& entry : table) {
        if (names[0] != nullptr && CompareStringOrdinal(names[0], -1, entry.name, -1, TRUE) == CSTR_EQUAL) {
            ids[0] = entry.id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

// Argument `index` in call order (Invoke passes them last to first).
VARIANT& ArgAt(const DISPPARAMS& params, UINT index);

HRESULT ToLong(const VARIANT& v, long& out);
HRESULT ToBool(const VARIANT& v, bool& out);
HRESULT ToText(const VARIANT& v, std::wstring& out);
// By-reference arguments: VT_BYREF of the type itself, or of a VARIANT
// holding it (an empty one is made that type).
HRESULT LongRef(VARIANT& v, long*& out);
HRESULT BstrRef(VARIANT& v, BSTR*& out);

// Result helpers; `result` may be null when the caller wants none.
void SetLong(VARIANT* result, long value);
void SetBool(VARIANT* result, bool value);
// Takes ownership of `text`.
void SetText(VARIANT* result, BSTR text);

} // namespace vtx::co
