// The dispatch interface as Automation clients see it: names, DISPIDs,
// argument conversion and the standard errors for bad calls.
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

TEST_F(DispatchInterface, NamesMapToTheirFixedDispids) {
    const std::vector<std::pair<const wchar_t*, DISPID>> expected = {{L"CheckHealth", 1},
                                                                     {L"Claim", 2},
                                                                     {L"Close", 3},
                                                                     {L"COFreezeEvents", 4},
                                                                     {L"CompareFirmwareVersion", 5},
                                                                     {L"DirectIO", 6},
                                                                     {L"OpenService", 7},
                                                                     {L"Release", 8},
                                                                     {L"ResetStatistics", 9},
                                                                     {L"RetrieveStatistics", 10},
                                                                     {L"UpdateFirmware", 11},
                                                                     {L"UpdateStatistics", 12},
                                                                     {L"GetPropertyNumber", 13},
                                                                     {L"SetPropertyNumber", 14},
                                                                     {L"GetPropertyString", 15},
                                                                     {L"SetPropertyString", 16},
                                                                     {L"OpenDrawer", 17},
                                                                     {L"WaitForDrawerClose", 18}};
    for (const auto& [name, id] : expected) {
        HRESULT hr;
        EXPECT_EQ(IdOf(so.get(), name, &hr), id) << std::wstring(name).size();
        EXPECT_EQ(hr, S_OK);
    }
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
    EXPECT_EQ(InvokeRaw(so.get(), dispid::Claim, {}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeRaw(so.get(), dispid::Close, {Long(1)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeRaw(so.get(), dispid::Claim, {Long(0)}, DISPATCH_PROPERTYPUT).hr, DISP_E_MEMBERNOTFOUND);

    VARIANT arg = Long(0);
    DISPID named = 0;
    DISPPARAMS withNames{&arg, &named, 1, 1};
    EXPECT_EQ(so->Invoke(dispid::Claim, IID_NULL, 0, DISPATCH_METHOD, &withNames, nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        so->Invoke(dispid::Close, IID_IDispatch, 0, DISPATCH_METHOD, &noArgs, nullptr, nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
    // A missing parameter block is taken as no arguments.
    EXPECT_EQ(so->Invoke(dispid::Close, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              S_OK);
}

TEST_F(DispatchInterface, TypeMismatchNamesTheArgumentIndex) {
    Arg word(Text(L"four"));
    InvokeResult r = InvokeRaw(so.get(), dispid::SetPropertyNumber, {Long(4), word.v()});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 0u); // the last argument sits first in rgvarg

    r = InvokeRaw(so.get(), dispid::SetPropertyNumber, {word.v(), Long(4)});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 1u);

    // By-reference parameters need a reference, not a value.
    r = InvokeRaw(so.get(), dispid::DirectIO, {Long(1), Long(2), word.v()});
    EXPECT_EQ(r.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r.argErr, 1u);
}

TEST_F(DispatchInterface, ByValueArgumentsAreConvertedAsAutomationDoes) {
    // Text "6" for a long, a short and a double: all reach the method as 6.
    Arg six(Text(L"6"));
    EXPECT_EQ(CallLong(so.get(), dispid::CheckHealth, {six.v()}), 106);
    VARIANT shortSix;
    VariantInit(&shortSix);
    V_VT(&shortSix) = VT_I2;
    V_I2(&shortSix) = 6;
    CallVoid(so.get(), dispid::SetPropertyNumber, {shortSix, Long(0)});
    EXPECT_EQ(InvokeRaw(so.get(), dispid::GetPropertyNumber, {shortSix}).hr, S_OK);
    // By-reference values reach the method through the reference.
    long number = 6;
    VARIANT ref;
    VariantInit(&ref);
    V_VT(&ref) = VT_BYREF | VT_I4;
    V_I4REF(&ref) = &number;
    EXPECT_EQ(CallLong(so.get(), dispid::GetPropertyNumber, {ref}), 101);
}

TEST_F(DispatchInterface, ResultsAreTypedAsTheInterfaceDeclares) {
    // Methods without a result leave the result VARIANT empty.
    CallVoid(so.get(), dispid::OpenDrawer);
    CallVoid(so.get(), dispid::WaitForDrawerClose, {Long(0), Long(0), Long(0), Long(0)});
    CallVoid(so.get(), dispid::SetPropertyString, {Long(1), Long(2)});
    EXPECT_EQ(CallText(so.get(), dispid::GetPropertyString, {Long(1000003)}), L"Veltrix.OPOS.CashDrawer");
    // A caller that asks for no result gets none, and nothing leaks.
    DISPPARAMS p{nullptr, nullptr, 0, 0};
    EXPECT_EQ(so->Invoke(dispid::Close, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr), S_OK);
    VARIANT index = Long(1000002);
    DISPPARAMS q{&index, nullptr, 1, 0};
    EXPECT_EQ(
        so->Invoke(dispid::GetPropertyString, IID_NULL, 0, DISPATCH_METHOD, &q, nullptr, nullptr, nullptr),
        S_OK);
}

TEST_F(DispatchInterface, PropertyGetFlagIsAcceptedForMethodCalls) {
    // Some Automation clients call a method that returns a value as a property get.
    EXPECT_EQ(InvokeRaw(so.get(), dispid::Close, {}, DISPATCH_PROPERTYGET).hr, S_OK);
    EXPECT_EQ(InvokeRaw(so.get(), dispid::Close, {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET).hr, S_OK);
}

} // namespace
} // namespace vtx::test
