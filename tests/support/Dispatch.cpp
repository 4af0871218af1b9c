// Calls through IDispatch by name and by DISPID, as a Control Object makes them.
#include "Dispatch.h"

#include "com/Invoke.h"

#include <gtest/gtest.h>

namespace vtx::test {

InvokeResult InvokeRaw(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args, WORD flags) {
    InvokeResult r;
    r.hr = InvokeByDispid(target, id, flags, args, r.value.get(), nullptr, &r.argErr);
    return r;
}

long CallLong(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args) {
    InvokeResult r = InvokeRaw(target, id, args);
    EXPECT_EQ(r.hr, S_OK) << "Invoke of DISPID " << id;
    EXPECT_EQ(V_VT(r.value.get()), VT_I4) << "DISPID " << id;
    return V_VT(r.value.get()) == VT_I4 ? V_I4(r.value.get()) : -99999;
}

void CallVoid(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args) {
    InvokeResult r = InvokeRaw(target, id, args);
    EXPECT_EQ(r.hr, S_OK) << "Invoke of DISPID " << id;
    EXPECT_EQ(V_VT(r.value.get()), VT_EMPTY) << "DISPID " << id << " returns nothing";
}

std::wstring CallText(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args) {
    InvokeResult r = InvokeRaw(target, id, args);
    EXPECT_EQ(r.hr, S_OK) << "Invoke of DISPID " << id;
    EXPECT_EQ(V_VT(r.value.get()), VT_BSTR) << "DISPID " << id;
    if (V_VT(r.value.get()) != VT_BSTR || V_BSTR(r.value.get()) == nullptr) {
        return {};
    }
    return std::wstring(V_BSTR(r.value.get()), SysStringLen(V_BSTR(r.value.get())));
}

} // namespace vtx::test
