#pragma once
// IDispatch::GetIDsOfNames over a constant table of members. Reads constant
// data only: any thread.
#include <windows.h>
#include <oaidl.h>

namespace vtx {

// Automation matches names ordinally, ignoring case. A null name matches none.
inline bool SameMemberName(const wchar_t* given, const wchar_t* known) noexcept {
    return given != nullptr && CompareStringOrdinal(given, -1, known, -1, TRUE) == CSTR_EQUAL;
}

// For a table that offers no parameter names.
struct NoParameterNames {
    template <class Entry> DISPID operator()(const Entry&, const wchar_t*) const noexcept {
        return DISPID_UNKNOWN;
    }
};

// names[0] is looked up among the table's entries (by their `name`, answered
// with their `*id`); any further name is a parameter of that member, which
// `parameterId(entry, name)` numbers. Every name not found gets
// DISPID_UNKNOWN and makes the answer DISP_E_UNKNOWNNAME.
template <class Table, class Entry, class ParameterId = NoParameterNames>
HRESULT LookUpNames(const Table& table, DISPID Entry::*id, REFIID riid, const LPOLESTR* names, UINT count,
                    DISPID* ids, ParameterId parameterId = {}) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (count == 0) {
        return S_OK;
    }
    if (names == nullptr || ids == nullptr) {
        return E_INVALIDARG;
    }
    const Entry* member = nullptr;
    for (const Entry& entry : table) {
        if (SameMemberName(names[0], entry.name)) {
            member = &entry;
            break;
        }
    }
    HRESULT hr = member != nullptr ? S_OK : DISP_E_UNKNOWNNAME;
    ids[0] = member != nullptr ? member->*id : DISPID_UNKNOWN;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = member != nullptr ? parameterId(*member, names[i]) : DISPID_UNKNOWN;
        if (ids[i] == DISPID_UNKNOWN) {
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

} // namespace vtx
