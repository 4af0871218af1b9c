// The Control Object's dispatch interface as Automation clients call it.
#include "ControlFixture.h"

namespace vtx::test {
namespace {

namespace dispid = co::dispid;
using ControlDispatch = ControlTest;

TEST_F(ControlDispatch, NamesResolveToTheirDispatchIdentifiers) {
    const std::pair<const wchar_t*, DISPID> names[] = {
        {L"Open", 37},
        {L"Close", 35},
        {L"claim", dispid::Claim},
        {L"ReleaseDevice", 38},
        {L"DeviceEnabled", 17},
        {L"OpenDrawer", 60},
        {L"CheckHealth", 31},
        {L"CheckHealthText", 13},
        {L"ResultCode", 22},
        {L"ResultCodeExtended", dispid::ResultCodeExtended},
        {L"State", dispid::State},
        {L"FreezeEvents", dispid::FreezeEvents},
        {L"DrawerOpened", dispid::DrawerOpened},
        {L"WaitForDrawerClose", dispid::WaitForDrawerClose},
        {L"RetrieveStatistics", dispid::RetrieveStatistics},
        {L"DirectIO", dispid::DirectIO},
    };
    for (const auto& [name, expected] : names) {
        LPOLESTR n = const_cast<LPOLESTR>(name);
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
        EXPECT_EQ(id, expected) << name;
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Frobnicate");
    DISPID id = 0;
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    LPOLESTR withParameter[] = {const_cast<LPOLESTR>(L"Open"), const_cast<LPOLESTR>(L"DeviceName")};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, withParameter, 2, LOCALE_USER_DEFAULT, ids),
              DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 37);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    UINT count = 9;
    EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(ControlDispatch, ArgumentsAreConvertedAsAutomationDoes) {
    ASSERT_EQ(Open(device.Name()), 0);
    script->calls.clear();
    // The setup utility passes Claim's time-out as a 16-bit integer.
    VARIANT shortZero;
    VariantInit(&shortZero);
    V_VT(&shortZero) = VT_I2;
    V_I2(&shortZero) = 0;
    EXPECT_EQ(Call(dispid::Claim, {shortZero}), 0);
    EXPECT_EQ(Put(dispid::DeviceEnabled, Long(1)), S_OK);
    Arg level(Text(L"2"));
    EXPECT_EQ(Call(dispid::CheckHealth, {level.v()}), 106);
    EXPECT_EQ(script->calls[0], L"Claim(0)");
    EXPECT_EQ(script->calls[1], L"SetPropertyNumber(3,1)");
    EXPECT_EQ(script->calls[3], L"CheckHealth(2)");
}

TEST_F(ControlDispatch, MalformedCallsFailAsCallsAndNeverReachTheService) {
    ASSERT_EQ(Open(device.Name()), 0);
    script->calls.clear();

    EXPECT_EQ(InvokeRaw(control.get(), dispid::Claim, {}).hr, DISP_E_BADPARAMCOUNT);
    Arg word(Text(L"soon"));
    InvokeResult mismatch = InvokeRaw(control.get(), dispid::Claim, {word.v()});
    EXPECT_EQ(mismatch.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(mismatch.argErr, 0u);
    InvokeResult badRef = InvokeRaw(control.get(), dispid::DirectIO, {Long(1), Long(2), Long(3)});
    EXPECT_EQ(badRef.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(badRef.argErr, 1u); // the second argument, counted from the last
    EXPECT_EQ(InvokeRaw(control.get(), 999, {}).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Put(dispid::ResultCode, Long(0)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(InvokeRaw(control.get(), dispid::ResultCode, {Long(1)}, DISPATCH_PROPERTYGET).hr,
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeRaw(control.get(), dispid::OpenDrawer, {}, DISPATCH_PROPERTYPUT).hr,
              DISP_E_MEMBERNOTFOUND);

    VARIANT timeout = Long(0);
    DISPID named = 0;
    DISPPARAMS withNames{&timeout, &named, 1, 1};
    EXPECT_EQ(control->Invoke(dispid::Claim, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &withNames,
                              nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    EXPECT_TRUE(script->calls.empty());
}

TEST_F(ControlDispatch, AcceptsTheCombinedFlagsVisualBasicUses) {
    ASSERT_EQ(Open(device.Name()), 0);
    const WORD both = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    InvokeResult method = InvokeRaw(control.get(), dispid::Claim, {Long(0)}, both);
    EXPECT_EQ(method.hr, S_OK);
    EXPECT_EQ(V_I4(method.value.get()), 0);
    InvokeResult property = InvokeRaw(control.get(), dispid::State, {}, both);
    EXPECT_EQ(property.hr, S_OK);
    EXPECT_EQ(V_I4(property.value.get()), 2);
}

} // namespace
} // namespace vtx::test
