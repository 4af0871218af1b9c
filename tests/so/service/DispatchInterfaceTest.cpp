// The dispatch interface as Automation clients see it: names, parameters,
// argument conversion and the standard errors for bad calls.
#include "ByRef.h"
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "ServiceObject.h"
#include "com/Bstr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vtx::test {
namespace {

class DispatchInterface : public ::testing::Test {
protected:
    ComPtr<IDispatch> so = NewServiceObject();
};

DISPID IdOf(IDispatch* d, const wchar_t* name, HRESULT* hr = nullptr) {
    DISPID id = 12345;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    HRESULT r = d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (hr) {
        *hr = r;
    }
    return id;
}

TEST_F(DispatchInterface, NameLookupIgnoresCase) {
    EXPECT_EQ(IdOf(so.get(), L"openservice"), 7);
    EXPECT_EQ(IdOf(so.get(), L"GETPROPERTYNUMBER"), 13);
    EXPECT_EQ(IdOf(so.get(), L"cofreezeEvents"), 4);
}

TEST_F(DispatchInterface, UnknownNameIsRefusedWithDispidUnknown) {
    HRESULT hr;
    EXPECT_EQ(IdOf(so.get(), L"Open", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
    EXPECT_EQ(IdOf(so.get(), L"", &hr), DISPID_UNKNOWN);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
}

TEST_F(DispatchInterface, ParameterNamesResolveToTheirPositions) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"WaitForDrawerClose"), const_cast<LPOLESTR>(L"beepDelay"),
                        const_cast<LPOLESTR>(L"BEEPTIMEOUT"), const_cast<LPOLESTR>(L"nonsense")};
    DISPID ids[4] = {};
    EXPECT_EQ(so->GetIDsOfNames(IID_NULL, names, 4, LOCALE_SYSTEM_DEFAULT, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 18);
    EXPECT_EQ(ids[1], 3);
    EXPECT_EQ(ids[2], 0);
    EXPECT_EQ(ids[3], DISPID_UNKNOWN);
}

TEST_F(DispatchInterface, LookupWithAnInterfaceIdIsRefused) {
    LPOLESTR n = const_cast<LPOLESTR>(L"Claim");
    DISPID id;
    EXPECT_EQ(so->GetIDsOfNames(IID_IDispatch, &n, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(DispatchInterface, HandsOutNoTypeInformation) {
    UINT count = 7;
    EXPECT_EQ(so->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(so->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(info, nullptr);
    EXPECT_EQ(so->GetTypeInfo(1, 0, &info), E_INVALIDARG);
}

TEST_F(DispatchInterface, QueryInterfaceAnswersOnePointerAndRefusesTheTypeLibraryInterface) {
    ComPtr<IUnknown> unknown;
    ComPtr<IDispatch> dispatch;
    ComPtr<IUnknown> own;
    ASSERT_EQ(so->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
    ASSERT_EQ(so->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    ASSERT_EQ(so->QueryInterface(IID_ICashDrawerDispatch, own.put_void()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(dispatch.get()));
    EXPECT_EQ(static_cast<void*>(own.get()), static_cast<void*>(dispatch.get()));

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(so->QueryInterface(IID_ICashDrawerTypeLib, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(DispatchInterface, BadCallsGetTheStandardErrors) {
    EXPECT_EQ(InvokeRaw(so.get(), 19, {}).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(InvokeRaw(so.get(), 0, {}).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(InvokeRaw(so.get(), so_dispid::Claim, {}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeRaw(so.get(), so_dispid::Close, {Long(1)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeRaw(so.get(), so_dispid::Claim, {Long(0)}, DISPATCH_PROPERTYPUT).hr,
              DISP_E_MEMBERNOTFOUND);

    VARIANT arg = Long(0);
    DISPID named = 0;
    DISPPARAMS withNames{&arg, &named, 1, 1};
    EXPECT_EQ(
        so->Invoke(so_dispid::Claim, IID_NULL, 0, DISPATCH_METHOD, &withNames, nullptr, nullptr, nullptr),
        DISP_E_NONAMEDARGS);
    DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        so->Invoke(so_dispid::Close, IID_IDispatch, 0, DISPATCH_METHOD, &noArgs, nullptr, nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
    // A missing parameter block is taken as no arguments.
    EXPECT_EQ(so->Invoke(so_dispid::Close, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              S_OK);
}

TEST_F(DispatchInterface, TypeMismatchNamesTheArgumentIndex) {
    Arg word(Text(L"four"));
    InvokeResult r = InvokeRaw(so.get(), so_dispid::SetPropertyNumber, {Long(4), word.v()});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 0u); // the last argument sits first in rgvarg

    r = InvokeRaw(so.get(), so_dispid::SetPropertyNumber, {word.v(), Long(4)});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 1u);

    // By-reference parameters need a reference, not a value.
    r = InvokeRaw(so.get(), so_dispid::DirectIO, {Long(1), Long(2), word.v()});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 1u);

    // The control object is kept unreferenced for the session: an IUnknown, whatever
    // its IDispatch would be, is refused; a null one means none.
    FakeControlObject co;
    Arg cls(Text(L"CashDrawer"));
    Arg name(Text(L"VX-NOWHERE"));
    VARIANT unknown;
    VariantInit(&unknown);
    V_VT(&unknown) = VT_UNKNOWN;
    V_UNKNOWN(&unknown) = &co;
    r = InvokeRaw(so.get(), so_dispid::OpenService, {cls.v(), name.v(), unknown});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 0u);
    V_UNKNOWN(&unknown) = nullptr;
    EXPECT_EQ(InvokeRaw(so.get(), so_dispid::OpenService, {cls.v(), name.v(), unknown}).hr, S_OK);
    EXPECT_EQ(co.OutstandingRefs(), 0);
}

TEST_F(DispatchInterface, ByValueArgumentsAreConvertedAsAutomationDoes) {
    DeviceKey device{UniqueDeviceName(L"VX-DSP")};
    device.SetPort(L"COM200");
    FakeControlObject co;
    ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);
    // Property index 9 (State) in every form a client may pass; an open object's State is 2.
    Arg text(Text(L"9"));
    VARIANT i2;
    VariantInit(&i2);
    V_VT(&i2) = VT_I2;
    V_I2(&i2) = 9;
    VARIANT r8;
    VariantInit(&r8);
    V_VT(&r8) = VT_R8;
    V_R8(&r8) = 8.6; // rounded, not cut
    long nine = 9;
    VARIANT ref = LongRef(&nine);
    for (const VARIANT& index : {text.v(), i2, r8, ref}) {
        EXPECT_EQ(CallLong(so.get(), so_dispid::GetPropertyNumber, {index}), 2) << "type " << V_VT(&index);
    }
    Arg one(Text(L"1"));
    CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(4), one.v()});
    EXPECT_EQ(CallLong(so.get(), so_dispid::GetPropertyNumber, {Long(4)}), 1);
    EXPECT_EQ(CallLong(so.get(), so_dispid::Close), 0);
}

TEST_F(DispatchInterface, ResultsAreTypedAsTheInterfaceDeclares) {
    // Methods without a result leave the result VARIANT empty.
    CallVoid(so.get(), so_dispid::OpenDrawer);
    CallVoid(so.get(), so_dispid::WaitForDrawerClose, {Long(0), Long(0), Long(0), Long(0)});
    CallVoid(so.get(), so_dispid::SetPropertyString, {Long(1), Long(2)});
    EXPECT_EQ(CallText(so.get(), so_dispid::GetPropertyString, {Long(1000003)}), L"Veltrix.OPOS.CashDrawer");
    // A caller that asks for no result gets none, and nothing leaks.
    DISPPARAMS p{nullptr, nullptr, 0, 0};
    EXPECT_EQ(so->Invoke(so_dispid::Close, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr),
              S_OK);
    VARIANT index = Long(1000002);
    DISPPARAMS q{&index, nullptr, 1, 0};
    EXPECT_EQ(
        so->Invoke(so_dispid::GetPropertyString, IID_NULL, 0, DISPATCH_METHOD, &q, nullptr, nullptr, nullptr),
        S_OK);
}

TEST_F(DispatchInterface, PropertyGetFlagIsAcceptedForMethodCalls) {
    // Some Automation clients call a method that returns a value as a property get.
    EXPECT_EQ(InvokeRaw(so.get(), so_dispid::Close, {}, DISPATCH_PROPERTYGET).hr, S_OK);
    EXPECT_EQ(InvokeRaw(so.get(), so_dispid::Close, {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET).hr, S_OK);
}

} // namespace
} // namespace vtx::test
