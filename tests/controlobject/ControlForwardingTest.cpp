// The application's calls, forwarded to the service, and the result codes
// the Control Object keeps.
#include "ByRef.h"
#include "ControlFixture.h"
#include "ControlMembers.h"

#include <map>

namespace vtx::test {
namespace {

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

    EXPECT_EQ(CallLong(control.get(), co_dispid::Claim, {Long(0)}), 101);
    EXPECT_EQ(CallLong(control.get(), co_dispid::ReleaseDevice), 101);
    EXPECT_EQ(CallLong(control.get(), co_dispid::Close), 101);
    EXPECT_EQ(CallLong(control.get(), co_dispid::CheckHealth, {Long(1)}), 101);
    EXPECT_EQ(CallLong(control.get(), co_dispid::OpenDrawer), 101);
    EXPECT_EQ(CallLong(control.get(), co_dispid::WaitForDrawerClose, {Long(0), Long(0), Long(0), Long(0)}),
              101);
    BSTR text = nullptr;
    EXPECT_EQ(CallLong(control.get(), co_dispid::RetrieveStatistics, {BstrRef(&text)}), 101);
    EXPECT_EQ(text, nullptr);

    auto get = [&](DISPID id) {
        InvokeResult r = InvokeRaw(control.get(), id, {}, DISPATCH_PROPERTYGET);
        EXPECT_EQ(r.hr, S_OK);
        Variant copy;
        VariantCopy(copy.get(), r.value.get());
        return copy;
    };
    EXPECT_EQ(V_I4(get(co_dispid::ResultCode).get()), 101);
    EXPECT_EQ(V_I4(get(co_dispid::State).get()), 1);
    EXPECT_EQ(V_BOOL(get(co_dispid::DeviceEnabled).get()), VARIANT_FALSE);
    EXPECT_EQ(V_BOOL(get(co_dispid::DrawerOpened).get()), VARIANT_FALSE);
    EXPECT_STREQ(V_BSTR(get(co_dispid::CheckHealthText).get()), L"");
    for (DISPID id : {co_dispid::ClaimDevice, co_dispid::ResetStatistics, co_dispid::UpdateStatistics,
                      co_dispid::UpdateFirmware}) {
        EXPECT_EQ(CallLong(control.get(), id, {Long(1)}), 101) << id;
    }
    // Every property reads: the Control Object's own with their values, the service's as nothing.
    const std::map<DISPID, long> own = {
        {co_dispid::ResultCode, 101}, {co_dispid::State, 1}, {co_dispid::ControlObjectVersion, 1011000}};
    for (const co::ControlMember& m : co::ControlMembers()) {
        if (m.kind == co::MemberKind::Property) {
            Variant v = get(m.id);
            if (V_VT(v.get()) == VT_BSTR) {
                EXPECT_EQ(SysStringLen(V_BSTR(v.get())) != 0, m.id == co_dispid::ControlObjectDescription)
                    << m.name;
            } else {
                ASSERT_EQ(VariantChangeType(v.get(), v.get(), 0, VT_I4), S_OK) << m.name;
                EXPECT_EQ(V_I4(v.get()), own.count(m.id) ? own.at(m.id) : 0) << m.name;
            }
        }
    }
    EXPECT_EQ(script->alive, 0);
}

TEST_F(ControlForwarding, MethodsReachTheServiceAndTheirCodeIsKept) {
    script->answers[L"Claim"] = 111;
    EXPECT_EQ(Call(co_dispid::Claim, {Long(1000)}), 111);
    EXPECT_EQ(ResultCode(), 111);
    EXPECT_EQ(ResultCode(), 111) << "reading ResultCode does not clear it";
    EXPECT_EQ(Get(co_dispid::ResultCodeExtended), 0);

    EXPECT_EQ(Call(co_dispid::ReleaseDevice), 0);
    EXPECT_EQ(Call(co_dispid::CheckHealth, {Long(1)}), 106);
    EXPECT_EQ(ResultCode(), 106);
    InvokeResult health = InvokeRaw(control.get(), co_dispid::CheckHealthText, {}, DISPATCH_PROPERTYGET);
    ASSERT_EQ(V_VT(health.value.get()), VT_BSTR);
    EXPECT_STREQ(V_BSTR(health.value.get()), L"health text");
    EXPECT_EQ(script->calls, (std::vector<std::wstring>{L"Claim(1000)", L"Release()", L"CheckHealth(1)",
                                                        L"GetPropertyString(1000001)"}));
}

TEST_F(ControlForwarding, PropertyReadsLeaveTheResultCodeAlone) {
    script->answers[L"Claim"] = 111;
    ASSERT_EQ(Call(co_dispid::Claim, {Long(0)}), 111);
    script->drawerOpened = 1;
    EXPECT_TRUE(GetBool(co_dispid::DrawerOpened));
    EXPECT_FALSE(GetBool(co_dispid::DeviceEnabled));
    EXPECT_EQ(Get(co_dispid::State), 2);
    EXPECT_EQ(ResultCode(), 111);
}

TEST_F(ControlForwarding, MembersWithoutAResultReportTheServicesResultCode) {
    script->answers[L"OpenDrawer"] = 107;
    EXPECT_EQ(Call(co_dispid::OpenDrawer), 107);
    EXPECT_EQ(ResultCode(), 107);
    EXPECT_EQ(Call(co_dispid::WaitForDrawerClose, {Long(1000), Long(800), Long(200), Long(100)}), 0);
    EXPECT_EQ(script->calls,
              (std::vector<std::wstring>{L"OpenDrawer", L"GetPropertyNumber(6)",
                                         L"WaitForDrawerClose(1000,800,200,100)", L"GetPropertyNumber(6)"}));
}

TEST_F(ControlForwarding, DeviceEnabledAndFreezeEventsAreSetOnTheService) {
    EXPECT_EQ(Put(co_dispid::DeviceEnabled, Bool(true)), S_OK);
    EXPECT_EQ(ResultCode(), 0);
    EXPECT_TRUE(GetBool(co_dispid::DeviceEnabled));
    EXPECT_EQ(Put(co_dispid::DeviceEnabled, Bool(false)), S_OK);
    EXPECT_FALSE(GetBool(co_dispid::DeviceEnabled));
    EXPECT_EQ(Put(co_dispid::FreezeEvents, Bool(true)), S_OK);
    EXPECT_EQ(script->calls, (std::vector<std::wstring>{L"SetPropertyNumber(3,1)", L"GetPropertyNumber(6)",
                                                        L"GetPropertyNumber(3)", L"SetPropertyNumber(3,0)",
                                                        L"GetPropertyNumber(6)", L"GetPropertyNumber(3)",
                                                        L"SetPropertyNumber(4,1)", L"GetPropertyNumber(6)"}));

    script->answers[L"SetPropertyNumber"] = 111;
    EXPECT_EQ(Put(co_dispid::DeviceEnabled, Bool(true)), S_OK);
    EXPECT_EQ(ResultCode(), 111);
}

TEST_F(ControlForwarding, ExtendedCodeIsReadOnlyForAnExtendedResult) {
    script->extendedCode = 42;
    script->answers[L"Claim"] = 114;
    EXPECT_EQ(Call(co_dispid::Claim, {Long(0)}), 114);
    EXPECT_EQ(Get(co_dispid::ResultCodeExtended), 42);
    script->answers[L"Claim"] = 111;
    EXPECT_EQ(Call(co_dispid::Claim, {Long(0)}), 111);
    EXPECT_EQ(Get(co_dispid::ResultCodeExtended), 0);
}

TEST_F(ControlForwarding, ReferenceArgumentsPassThroughToTheService) {
    long data = 0;
    BSTR text = SysAllocString(L"in");
    EXPECT_EQ(Call(co_dispid::DirectIO, {Long(7), LongRef(&data), BstrRef(&text)}), 0);
    EXPECT_EQ(data, 14);
    EXPECT_STREQ(text, L"echo");

    // As Visual Basic passes them: references to VARIANTs.
    Variant held = HeldText(L"old");
    EXPECT_EQ(Call(co_dispid::RetrieveStatistics, {VariantRef(held.get())}), 0);
    EXPECT_EQ(V_VT(held.get()), VT_BSTR);
    EXPECT_STREQ(V_BSTR(held.get()), L"<statistics/>");
    SysFreeString(text);
}

TEST_F(ControlForwarding, EarlyBoundCallsRefusedAsCallsStillAnswerACodeNeverAnEarlierSuccess) {
    ComPtr<ICashDrawerControl> early;
    ASSERT_EQ(control->QueryInterface(co::IID_ICashDrawerControl, early.put_void()), S_OK);
    long rc[2] = {};
    BSTR text = nullptr;
    EXPECT_EQ(early->DirectIO(1, nullptr, &text, &rc[0]), E_POINTER);
    EXPECT_EQ(early->RetrieveStatistics(nullptr, &rc[1]), E_POINTER);
    EXPECT_EQ(std::vector<long>({rc[0], rc[1], ResultCode()}), std::vector<long>(3, 106));
}

TEST_F(ControlForwarding, NewerMembersReachTheServiceByNameOrPropertyIndex) {
    Arg file(Text(L"fw.bin"));
    long result = 0;
    EXPECT_EQ(Call(co_dispid::ClaimDevice, {Long(500)}), 0);
    for (DISPID id : {co_dispid::ResetStatistics, co_dispid::UpdateStatistics, co_dispid::UpdateFirmware}) {
        EXPECT_EQ(Call(id, {file.v()}), 0) << id;
    }
    EXPECT_EQ(Call(co_dispid::CompareFirmwareVersion, {file.v(), LongRef(&result)}), 0);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(Put(co_dispid::PowerNotify, Long(1)), S_OK);
    EXPECT_EQ(script->calls, (std::vector<std::wstring>{
                                 L"Claim(500)", L"ResetStatistics(fw.bin)", L"UpdateStatistics(fw.bin)",
                                 L"UpdateFirmware(fw.bin)", L"CompareFirmwareVersion(fw.bin)",
                                 L"SetPropertyNumber(13,1)", L"GetPropertyNumber(6)"}));
    const struct {
        DISPID id;
        const wchar_t* call;
        VARTYPE vt;
    } properties[] = {{co_dispid::CapPowerReporting, L"GetPropertyNumber(501)", VT_I4},
                      {co_dispid::PowerNotify, L"GetPropertyNumber(13)", VT_I4},
                      {co_dispid::PowerState, L"GetPropertyNumber(14)", VT_I4},
                      {co_dispid::CapStatisticsReporting, L"GetPropertyNumber(502)", VT_BOOL},
                      {co_dispid::CapUpdateStatistics, L"GetPropertyNumber(503)", VT_BOOL},
                      {co_dispid::CapCompareFirmwareVersion, L"GetPropertyNumber(504)", VT_BOOL},
                      {co_dispid::CapUpdateFirmware, L"GetPropertyNumber(505)", VT_BOOL},
                      {co_dispid::Claimed, L"GetPropertyNumber(1)", VT_BOOL},
                      {co_dispid::ServiceObjectVersion, L"GetPropertyNumber(8)", VT_I4},
                      {co_dispid::CapStatus, L"GetPropertyNumber(1501)", VT_BOOL},
                      {co_dispid::CapStatusMultiDrawerDetect, L"GetPropertyNumber(1502)", VT_BOOL},
                      {co_dispid::DeviceDescription, L"GetPropertyString(1000002)", VT_BSTR},
                      {co_dispid::DeviceName, L"GetPropertyString(1000003)", VT_BSTR},
                      {co_dispid::ServiceObjectDescription, L"GetPropertyString(1000004)", VT_BSTR}};
    for (const auto& p : properties) {
        script->calls.clear();
        InvokeResult r = InvokeRaw(control.get(), p.id, {}, DISPATCH_PROPERTYGET);
        EXPECT_EQ(r.hr, S_OK) << p.id;
        EXPECT_EQ(V_VT(r.value.get()), p.vt) << p.id;
        EXPECT_EQ(script->calls, std::vector<std::wstring>{p.call}) << p.id;
    }
}

TEST_F(ControlForwarding, BinaryConversionIsTheControlObjectsOwnAndStartsAtNoneWithEveryOpen) {
    EXPECT_EQ(Put(co_dispid::BinaryConversion, Long(2)), S_OK);
    EXPECT_EQ(ResultCode(), 0);
    EXPECT_EQ(Get(co_dispid::BinaryConversion), 2);
    EXPECT_EQ(Put(co_dispid::BinaryConversion, Long(3)), S_OK);
    EXPECT_EQ(ResultCode(), 106);
    EXPECT_TRUE(script->calls.empty());
    EXPECT_EQ(Call(co_dispid::Close), 0);
    EXPECT_EQ(Put(co_dispid::BinaryConversion, Long(1)), S_OK);
    EXPECT_EQ(ResultCode(), 101);
    ASSERT_EQ(Open(device.Name()), 0);
    EXPECT_EQ(Get(co_dispid::BinaryConversion), 0);
}

TEST_F(ControlForwarding, AMemberTheServiceLacksAnswersNoService) {
    script->lacks = {L"RetrieveStatistics", L"OpenDrawer"};
    ComPtr<IDispatch> other = NewControlObject();
    Arg name(Text(device.Name().c_str()));
    ASSERT_EQ(CallLong(other.get(), co_dispid::Open, {name.v()}), 0);
    BSTR text = nullptr;
    EXPECT_EQ(CallLong(other.get(), co_dispid::RetrieveStatistics, {BstrRef(&text)}), 104);
    EXPECT_EQ(CallLong(other.get(), co_dispid::OpenDrawer), 104);
    EXPECT_EQ(CallLong(other.get(), co_dispid::Claim, {Long(0)}), 0);
    EXPECT_EQ(CallLong(other.get(), co_dispid::Close), 0);
}

TEST_F(ControlForwarding, CloseReleasesTheServiceAndAllowsANewOpen) {
    EXPECT_EQ(Call(co_dispid::Close), 0);
    EXPECT_EQ(script->alive, 0);
    EXPECT_EQ(Get(co_dispid::State), 1);
    EXPECT_EQ(Call(co_dispid::Claim, {Long(0)}), 101);
    EXPECT_EQ(Open(device.Name()), 0);
    EXPECT_EQ(script->alive, 1);
}

TEST_F(ControlForwarding, CloseReturnsTheServicesAnswerAndReleasesItAnyway) {
    script->answers[L"Close"] = 111;
    EXPECT_EQ(Call(co_dispid::Close), 111);
    EXPECT_EQ(script->alive, 0);
    EXPECT_EQ(Call(co_dispid::Close), 101);
}

} // namespace
} // namespace vtx::test
