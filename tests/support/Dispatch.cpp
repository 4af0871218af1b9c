#include "Dispatch.h"

#include <gtest/gtest.h>

#include <vector>

namespace vtx::test {

InvokeResult InvokeRaw(IDispatch* target, DISPID id, std::initializer_list<VARIANT> args, WORD flags) {
    std::vector<VARIANT> reversed(args.size());
    size_t i = args.size();
    for (const VARIANT& a : args) {
        reversed[--i] = a; // shallow: the caller owns the contents
    }
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(args.size()),
                      0};
    InvokeResult r;
    r.hr =
        target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, r.value.get(), nullptr, &r.argErr);
    return r;
}

VARIANT Long(long v) {
    VARIANT r;
    VariantInit(&r);
    V_VT(&r) = VT_I4;
    V_I4(&r) = v;
    return r;
}

VARIANT Bool(bool v) {
    VARIANT r;
    VariantInit(&r);
    V_VT(&r) = VT_BOOL;
    V_BOOL(&r) = v ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
}

VARIANT Text(const wchar_t* v) {
    VARIANT r;
    VariantInit(&r);
    V_VT(&r) = VT_BSTR;
    V_BSTR(&r) = SysAllocString(v);
    return r;
}

VARIANT Disp(IDispatch* v) {
    VARIANT r;
    VariantInit(&r);
    V_VT(&r) = VT_DISPATCH;
    V_DISPATCH(&r) = v;
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
