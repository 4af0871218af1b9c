// The Control Object's dispatch interface as Automation clients call it.
#include "ControlFixture.h"
#include "ServiceObject.h"

namespace vtx::test {
namespace {

namespace dispid = co::dispid;
using ControlDispatch = ControlTest;

// Compiled clients hold these numbers: none may change. Written out here once.
TEST_F(ControlDispatch, IdentifiersCompiledClientsHoldAreFixed) {
    ComPtr<IDispatch> service = NewServiceObject();
    const struct {
        IDispatch* object;
        const wchar_t* name;
        DISPID id;
    } members[] = {
        {control.get(), L"CheckHealthText", 13},
        {control.get(), L"FreezeEvents", 16},
        {control.get(), L"DeviceEnabled", 17},
        {control.get(), L"ResultCode", 22},
        {control.get(), L"ResultCodeExtended", 23},
        {control.get(), L"State", 24},
        {control.get(), L"CheckHealth", 31},
        {control.get(), L"DirectIO", 32},
        {control.get(), L"Close", 35},
        {control.get(), L"claim", 36},
        {control.get(), L"Open", 37},
        {control.get(), L"ReleaseDevice", 38},
        {control.get(), L"DrawerOpened", 51},
        {control.get(), L"OpenDrawer", 60},
        {control.get(), L"WaitForDrawerClose", 61},
        {control.get(), L"RetrieveStatistics", 62},
        {service.get(), L"CheckHealth", 1},
        {service.get(), L"Claim", 2},
        {service.get(), L"Close", 3},
        {service.get(), L"COFreezeEvents", 4},
        {service.get(), L"CompareFirmwareVersion", 5},
        {service.get(), L"DirectIO", 6},
        {service.get(), L"OpenService", 7},
        {service.get(), L"Release", 8},
        {service.get(), L"ResetStatistics", 9},
        {service.get(), L"RetrieveStatistics", 10},
        {service.get(), L"UpdateFirmware", 11},
        {service.get(), L"UpdateStatistics", 12},
        {service.get(), L"GetPropertyNumber", 13},
        {service.get(), L"SetPropertyNumber", 14},
        {service.get(), L"GetPropertyString", 15},
        {service.get(), L"SetPropertyString", 16},
        {service.get(), L"OpenDrawer", 17},
        {service.get(), L"WaitForDrawerClose", 18},
    };
    for (const auto& [object, name, expected] : members) {
        LPOLESTR n = const_cast<LPOLESTR>(name);
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
        EXPECT_EQ(id, expected) << name;
    }
    EXPECT_EQ(co::event_dispid::StatusUpdateEvent, 5);
    const std::pair<const wchar_t*, GUID> guids[] = {
        {L"{A9B892A3-3202-4897-B03D-87D592FD725F}", co::CLSID_CashDrawerControl},
        {L"{EEEEC9CE-47A6-400F-96D4-D5622538D98B}", co::DIID_CashDrawerControlEvents},
    };
    for (const auto& [text, guid] : guids) {
        GUID literal{};
        ASSERT_EQ(CLSIDFromString(text, &literal), S_OK) << text;
        EXPECT_TRUE(IsEqualGUID(literal, guid)) << text;
    }
}

TEST_F(ControlDispatch, UnknownNamesAndParameterNamesAreRefused) {
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
