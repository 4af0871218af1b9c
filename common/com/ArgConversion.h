#pragma once
// Automation's conversion of an Invoke argument to the type a member takes:
// a value coerced as VariantChangeType does, a reference to a long or a text,
// an interface. The service object's and the Control Object's IDispatch both
// convert through it, on the application's thread, which makes the calls.
#include <windows.h>
#include <oaidl.h>

#include "com/Variant.h"

#include <string>

namespace vtx {

// A parameter's type, as both objects' dispatch tables name it.
enum class ArgType { Long, Bool, Bstr, Dispatch, LongRef, BstrRef };

// Argument `index` in call order (Invoke passes them last to first).
VARIANT& ArgAt(const DISPPARAMS& params, UINT index);
// What puArgErr names for argument `index` in call order: its place in rgvarg.
inline UINT ArgErrIndex(const DISPPARAMS& params, UINT index) {
    return params.cArgs - 1 - index;
}

HRESULT ToLong(const VARIANT& v, long& out);
HRESULT ToBool(const VARIANT& v, bool& out);
// `out` becomes a VT_BSTR; a null BSTR stays null.
HRESULT ToBstr(const VARIANT& v, Variant& out);
HRESULT ToText(const VARIANT& v, std::wstring& out);
// An `IDispatch*` argument, lent (no reference is taken): an IDispatch, by
// value or by reference, or nothing (empty, null, or a null IUnknown). A
// non-null IUnknown is refused: the caller may keep the pointer for long,
// and an IDispatch found through QueryInterface may be a tear-off that dies
// with the reference we would have to drop.
HRESULT ToDispatch(const VARIANT& v, IDispatch*& out);

// How a by-reference parameter takes what the caller passed.
enum class ByRefRule {
    // Only a reference to the parameter's own type, or to a VARIANT holding
    // that type or nothing (made that type then and there, zero or a null
    // text); anything else, a null reference included, DISP_E_TYPEMISMATCH.
    // The member works on the caller's own variable: nothing to write back.
    Exact,
    // Whatever a script or compiled client may pass, as below; a null
    // reference is E_POINTER.
    Coerce,
};

// A `long*` argument. Under ByRefRule::Coerce accepted: a reference to a
// long; a reference to a VARIANT holding a number or nothing (how VBScript
// passes any variable), which comes back as VT_I4; a reference to another numeric type (a typed
// variable of a compiled client), coerced both ways as Automation does; a
// value, as clients without by-reference variables (JScript, PowerShell
// without [ref]) pass it, converted as a by-value long is and lent as a
// temporary whose result is dropped. The member works on `get()`;
// `WriteBack` stores the result in the caller's variable, so a refused
// argument changes nothing. Unbound, it writes nothing.
class LongByRef {
public:
    HRESULT Bind(VARIANT& arg, ByRefRule rule = ByRefRule::Coerce);
    long* get() noexcept { return m_target; }
    // DISP_E_OVERFLOW when the result does not fit the caller's narrower
    // type: the variable keeps its old value, and the call, made by then,
    // leaves its code in ResultCode.
    HRESULT WriteBack();

private:
    long* m_target = nullptr;
    VARIANT* m_inner = nullptr; // a VARIANT converted for the call
    VARIANT* m_typed = nullptr; // a reference to another numeric type
    long m_value = 0;
};

// A `BSTR*` argument. Under ByRefRule::Coerce: a reference to a BSTR, or
// to a VARIANT holding any value convertible to text, which comes back as
// VT_BSTR (its old value freed); or such a value itself, lent as a temporary as LongByRef does. A
// typed reference to anything but a BSTR is refused: the text the service
// writes would rarely convert back.
class TextByRef {
public:
    HRESULT Bind(VARIANT& arg, ByRefRule rule = ByRefRule::Coerce);
    BSTR* get() noexcept { return m_target; }
    void WriteBack();

private:
    BSTR* m_target = nullptr;
    VARIANT* m_inner = nullptr;
    Variant m_text;
};

// Result helpers; `result` may be null when the caller wants none.
void SetLong(VARIANT* result, long value);
void SetBool(VARIANT* result, bool value);
// Takes ownership of `text`.
void SetText(VARIANT* result, BSTR text);

} // namespace vtx
