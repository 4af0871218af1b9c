// The application's calls, forwarded to the service, and the result codes
// the Control Object keeps.
#include "ControlFixture.h"

namespace vtx::test {
namespace {

namespace dispid = co::dispid;

class ControlForwarding : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        ASSERT_EQ(Open(device.Name()), 0);
        script->calls.clear();
    }
};

TEST(ControlClosed, EveryMemberAnswersClosedAndNoServiceIsCreated) {
    auto script = std::make_shared<FakeServiceScript>();
    FakeServiceRegistration registration(script);
    ComPtr<IDispatch> control = NewControlObject();

    EXPECT_EQ(CallLong(control.get(), dispid::Claim, {Long(0)}), 101);
    EXPECT_EQ(CallLong(control.get(), dispid::ReleaseDevice), 101);
    EXPECT_EQ(CallLong(control.get(), dispid::Close), 101);
    EXPECT_EQ(CallLong(control.get(), dispid::CheckHealth, {Long(1)}), 101);
    EXPECT_EQ(CallLong(control.get(), dispid::OpenDrawer), 101);
    EXPECT_EQ(CallLong(control.get(), dispid::WaitForDrawerClose, {Long(0), Long(0), Long(0), Long(0)}), 101);
    BSTR text = nullptr;
    VARIANT textRef;
    VariantInit(&textRef);
    V_VT(&textRef) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&textRef) = &text;
    EXPECT_EQ(CallLong(control.get(), dispid::RetrieveStatistics, {textRef}), 101);
    EXPECT_EQ(text, nullptr);

    auto get = [&](DISPID id) {
        InvokeResult r = InvokeRaw(control.get(), id, {}, DISPATCH_PROPERTYGET);
        EXPECT_EQ(r.hr, S_OK);
        Variant copy;
        VariantCopy(copy.get(), r.value.get());
        return copy;
    };
    EXPECT_EQ(V_I4(get(dispid::ResultCode).get()), 101);
    EXPECT_EQ(V_I4(get(dispid::State).get()), 1);
    EXPECT_EQ(V_BOOL(get(dispid::DeviceEnabled).get()), VARIANT_FALSE);
    EXPECT_EQ(V_BOOL(get(dispid::DrawerOpened).get()), VARIANT_FALSE);
    EXPECT_STREQ(V_BSTR(get(dispid::CheckHealthText).get()), L"");
    EXPECT_EQ(script->alive, 0);
}

TEST_F(ControlForwarding, MethodsReachTheServiceAndTheirCodeIsKept) {
    script->answers[L"Claim"] = 111;
    EXPECT_EQ(Call(dispid::Claim, {Long(1000)}), 111);
    EXPECT_EQ(ResultCode(), 111);
    EXPECT_EQ(ResultCode(), 111) << "reading ResultCode does not clear it";
    EXPECT_EQ(Get(dispid::ResultCodeExtended), 0);

    EXPECT_EQ(Call(dispid::ReleaseDevice), 0);
    EXPECT_EQ(Call(dispid::CheckHealth, {Long(1)}), 106);
    EXPECT_EQ(ResultCode(), 106);
    InvokeResult health = InvokeRaw(control.get(), dispid::CheckHealthText, {}, DISPATCH_PROPERTYGET);
    ASSERT_EQ(V_VT(health.value.get()), VT_BSTR);
    EXPECT_STREQ(V_BSTR(health.value.get()), L"health text");
    EXPECT_EQ(script->calls, (std::vector<std::wstring>{L"Claim(1000)", L"Release()", L"CheckHealth(1)",
                                                        L"GetPropertyString(1000001)"}));
}

TEST_F(ControlForwarding, PropertyReadsLeaveTheResultCodeAlone) {
    script->answers[L"Claim"] = 111;
    ASSERT_EQ(Call(dispid::Claim, {Long(0)}), 111);
    script->drawerOpened = 1;
    EXPECT_TRUE(GetBool(dispid::DrawerOpened));
    EXPECT_FALSE(GetBool(dispid::DeviceEnabled));
    EXPECT_EQ(Get(dispid::State), 2);
    EXPECT_EQ(ResultCode(), 111);
}

TEST_F(ControlForwarding, MembersWithoutAResultReportTheServicesResultCode) {
    script->answers[L"OpenDrawer"] = 107;
    EXPECT_EQ(Call(dispid::OpenDrawer), 107);
    EXPECT_EQ(ResultCode(), 107);
    EXPECT_EQ(Call(dispid::WaitForDrawerClose, {Long(1000), Long(800), Long(200), Long(100)}), 0);
    EXPECT_EQ(script->calls,
              (std::vector<std::wstring>{L"OpenDrawer", L"GetPropertyNumber(6)",
                                         L"WaitForDrawerClose(1000,800,200,100)", L"GetPropertyNumber(6)"}));
}

TEST_F(ControlForwarding, DeviceEnabledAndFreezeEventsAreSetOnTheService) {
    EXPECT_EQ(Put(dispid::DeviceEnabled, Bool(true)), S_OK);
    EXPECT_EQ(ResultCode(), 0);
    EXPECT_TRUE(GetBool(dispid::DeviceEnabled));
    EXPECT_EQ(Put(dispid::DeviceEnabled, Bool(false)), S_OK);
    EXPECT_FALSE(GetBool(dispid::DeviceEnabled));
    EXPECT_EQ(Put(dispid::FreezeEvents, Bool(true)), S_OK);
    EXPECT_EQ(script->calls, (std::vector<std::wstring>{L"SetPropertyNumber(3,1)", L"GetPropertyNumber(6)",
                                                        L"GetPropertyNumber(3)", L"SetPropertyNumber(3,0)",
                                                        L"GetPropertyNumber(6)", L"GetPropertyNumber(3)",
                                                        L"SetPropertyNumber(4,1)", L"GetPropertyNumber(6)"}));

    script->answers[L"SetPropertyNumber"] = 111;
    EXPECT_EQ(Put(dispid::DeviceEnabled, Bool(true)), S_OK);
    EXPECT_EQ(ResultCode(), 111);
}

TEST_F(ControlForwarding, ExtendedCodeIsReadOnlyForAnExtendedResult) {
    script->extendedCode = 42;
    script->answers[L"Claim"] = 114;
    EXPECT_EQ(Call(dispid::Claim, {Long(0)}), 114);
    EXPECT_EQ(Get(dispid::ResultCodeExtended), 42);
    script->answers[L"Claim"] = 111;
    EXPECT_EQ(Call(dispid::Claim, {Long(0)}), 111);
    EXPECT_EQ(Get(dispid::ResultCodeExtended), 0);
}

TEST_F(ControlForwarding, ReferenceArgumentsPassThroughToTheService) {
    long data = 0;
    BSTR text = SysAllocString(L"in");
    VARIANT dataRef;
    VariantInit(&dataRef);
    V_VT(&dataRef) = VT_BYREF | VT_I4;
    V_I4REF(&dataRef) = &data;
    VARIANT textRef;
    VariantInit(&textRef);
    V_VT(&textRef) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&textRef) = &text;
    EXPECT_EQ(Call(dispid::DirectIO, {Long(7), dataRef, textRef}), 0);
    EXPECT_EQ(data, 14);
    EXPECT_STREQ(text, L"echo");

    // As Visual Basic passes them: references to VARIANTs.
    VARIANT held;
    VariantInit(&held);
    V_VT(&held) = VT_BSTR;
    V_BSTR(&held) = SysAllocString(L"old");
    VARIANT heldRef;
    VariantInit(&heldRef);
    V_VT(&heldRef) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&heldRef) = &held;
    EXPECT_EQ(Call(dispid::RetrieveStatistics, {heldRef}), 0);
    EXPECT_EQ(V_VT(&held), VT_BSTR);
    EXPECT_STREQ(V_BSTR(&held), L"<statistics/>");
    VariantClear(&held);
    SysFreeString(text);
}

TEST_F(ControlForwarding, AMemberTheServiceLacksAnswersNoService) {
    script->lacks = {L"RetrieveStatistics", L"OpenDrawer"};
    ComPtr<IDispatch> other = NewControlObject();
    Arg name(Text(device.Name().c_str()));
    ASSERT_EQ(CallLong(other.get(), dispid::Open, {name.v()}), 0);
    BSTR text = nullptr;
    VARIANT textRef;
    VariantInit(&textRef);
    V_VT(&textRef) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&textRef) = &text;
    EXPECT_EQ(CallLong(other.get(), dispid::RetrieveStatistics, {textRef}), 104);
    EXPECT_EQ(CallLong(other.get(), dispid::OpenDrawer), 104);
    EXPECT_EQ(CallLong(other.get(), dispid::Claim, {Long(0)}), 0);
    EXPECT_EQ(CallLong(other.get(), dispid::Close), 0);
}

TEST_F(ControlForwarding, CloseReleasesTheServiceAndAllowsANewOpen) {
    EXPECT_EQ(Call(dispid::Close), 0);
    EXPECT_EQ(script->alive, 0);
    EXPECT_EQ(Get(dispid::State), 1);
    EXPECT_EQ(Call(dispid::Claim, {Long(0)}), 101);
    EXPECT_EQ(Open(device.Name()), 0);
    EXPECT_EQ(script->alive, 1);
}

TEST_F(ControlForwarding, CloseReturnsTheServicesAnswerAndReleasesItAnyway) {
    script->answers[L"Close"] = 111;
    EXPECT_EQ(Call(dispid::Close), 111);
    EXPECT_EQ(script->alive, 0);
    EXPECT_EQ(Call(dispid::Close), 101);
}

} // namespace
} // namespace vtx::test
