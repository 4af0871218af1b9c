#pragma once
// Calls through IDispatch::Invoke the way a Control Object does.
#include <windows.h>
#include <oaidl.h>

#include "com/Variant.h"

#include <initializer_list>
#include <string>

namespace vtx::test {

// Arguments in call order; a put names its value DISPID_PROPERTYPUT.
struct InvokeResult {
    HRESULT hr = E_FAIL;
    Variant value;
    UINT argErr = ~0u;
};
InvokeResult InvokeRaw(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args,
                       WORD flags = DISPATCH_METHOD);

inline VARIANT Long(long v) {
    return LongVariant(v);
}
inline VARIANT Bool(bool v) {
    return BoolVariant(v);
}
inline VARIANT Text(const wchar_t* v) { // owned by the caller: wrap it in an Arg
    return BstrVariant(SysAllocString(v));
}
inline VARIANT Disp(IDispatch* v) {
    return DispatchVariant(v);
}

// An owned argument for calls that take text.
class Arg {
public:
    explicit Arg(VARIANT v) : m_v(v) {}
    ~Arg() { VariantClear(&m_v); }
    Arg(const Arg&) = delete;
    Arg& operator=(const Arg&) = delete;
    // A shallow copy for an argument list; this object keeps ownership.
    VARIANT v() const { return m_v; }

private:
    VARIANT m_v;
};

// Typed calls that fail the test when Invoke itself fails.
long CallLong(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args = {});
void CallVoid(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args = {});
std::wstring CallText(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args = {});

} // namespace vtx::test
