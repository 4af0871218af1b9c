#pragma once
// Automation argument handling for the Control Object's IDispatch.
#include <windows.h>
#include <oaidl.h>

#include <string>

namespace vtx::co {

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
