// The Control Object's late-bound calls: dispatch identifiers, invoke kinds
// and argument types, and failures of the object reported as errors.
#include "fakes/FakeViews.h"
#include "fakes/FakeMessageBoxes.h"
#include "fakes/FakePortProbe.h"
#include "fakes/FakeSetupRegistry.h"
#include "fakes/RecordingDispatch.h"

#include "Dispatch.h"
#include "automation/DispatchControlObject.h"
#include "logic/FrmMain.h"

#include <gtest/gtest.h>

namespace vtx::setup::test {
namespace {

using vtx::test::Arg;
using vtx::test::Long;
using vtx::test::Text;

class SetupDispatchCalls : public ::testing::Test {
protected:
    RecordingDispatch target;
    DispatchControlObject co{ComPtr<IDispatch>(&target)};
};

using D = DispatchControlObject;

TEST_F(SetupDispatchCalls, EachMemberUsesItsDispatchIdentifierKindAndArgumentTypes) {
    target.Answer(D::kCheckHealthText, Arg(Text(L"Internal HCheck: Successful")).v());
    target.Answer(D::kClose, Long(106));
    target.Answer(D::kResultCode, Long(0));

    co.Open(L"VX-CDUSB");
    co.Claim(0);
    co.SetDeviceEnabled(true);
    co.OpenDrawer();
    co.CheckHealth(1);
    EXPECT_EQ(co.CheckHealthText(), L"Internal HCheck: Successful");
    co.ReleaseDevice();
    EXPECT_EQ(co.Close(), 106);
    EXPECT_EQ(co.ResultCode(), 0);

    const std::vector<Invocation> expected{
        {37, DISPATCH_METHOD, {L"BSTR:VX-CDUSB"}, {}, true},
        {RecordingDispatch::kClaimId, DISPATCH_METHOD, {L"I2:0"}, {}, true},
        {17, DISPATCH_PROPERTYPUT, {L"BOOL:-1"}, {DISPID_PROPERTYPUT}, false},
        {60, DISPATCH_METHOD, {}, {}, true},
        {31, DISPATCH_METHOD, {L"I4:1"}, {}, true},
        {13, DISPATCH_PROPERTYGET, {}, {}, true},
        {38, DISPATCH_METHOD, {}, {}, true},
        {35, DISPATCH_METHOD, {}, {}, true},
        {22, DISPATCH_PROPERTYGET, {}, {}, true},
    };
    EXPECT_EQ(target.invocations, expected);
}

TEST_F(SetupDispatchCalls, ClaimIsLookedUpByNameAtEveryCall) {
    co.Claim(0);
    co.Claim(0);
    EXPECT_EQ(target.lookups, (std::vector<std::wstring>{L"Claim", L"Claim"}));
}

TEST_F(SetupDispatchCalls, AMissingClaimIsAnAutomationError) {
    target.claimMissing = true;
    try {
        co.Claim(0);
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.Hresult(), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(e.Text().rfind(L"Claim", 0), 0u) << testing::PrintToString(e.Text());
    }
    EXPECT_TRUE(target.invocations.empty());
}

TEST_F(SetupDispatchCalls, AFailedInvokeIsAnAutomationError) {
    target.Fail(D::kOpenDrawer, DISP_E_MEMBERNOTFOUND);
    try {
        co.OpenDrawer();
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.Hresult(), DISP_E_MEMBERNOTFOUND);
        EXPECT_NE(e.Describe().find(L"(0x80020003)"), std::wstring::npos)
            << testing::PrintToString(e.Describe());
    }
}

TEST_F(SetupDispatchCalls, ARaisedExceptionCarriesTheObjectsDescription) {
    target.Raise(D::kOpen, E_FAIL, L"Device registry entry is damaged");
    try {
        co.Open(L"VX-CDUSB");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.Hresult(), E_FAIL);
        EXPECT_EQ(e.Describe(), L"Open: Device registry entry is damaged (0x80004005)");
    }
}

TEST_F(SetupDispatchCalls, AResultCodeThatIsNoNumberIsAnError) {
    target.Answer(D::kResultCode, Arg(Text(L"zero")).v());
    EXPECT_THROW(co.ResultCode(), AutomationError);

    VARIANT small;
    VariantInit(&small);
    V_VT(&small) = VT_I2;
    V_I2(&small) = 106;
    target.Answer(D::kResultCode, small);
    EXPECT_EQ(co.ResultCode(), 106);
}

TEST_F(SetupDispatchCalls, NoReferenceOutlivesTheWrapper) {
    {
        DispatchControlObject other{ComPtr<IDispatch>(&target)};
        other.OpenDrawer();
    }
    EXPECT_EQ(target.Refs(), 1) << "only the fixture's wrapper holds one";
}

TEST(SetupDispatchCreate, AProgIdThatIsNotRegisteredIsAnErrorNotACrash) {
    try {
        DispatchControlObject::Create(L"Vtx.NoSuchControlObject");
        FAIL() << "created";
    } catch (const AutomationError& e) {
        EXPECT_TRUE(FAILED(e.Hresult()));
        EXPECT_EQ(e.Text(), L"Vtx.NoSuchControlObject is not registered");
    }
}

TEST(SetupDispatchCreate, TheWindowShowsAnUnregisteredControlObjectInItsStatus) {
    FakeSetupRegistry registry;
    FakeMainView view;
    FakePortProbe ports;
    FakeMessageBoxes messages;
    FrmMain main(kUsbBuild, view, registry, ports, messages,
                 [] { return DispatchControlObject::Create(L"Vtx.NoSuchControlObject"); });
    main.OpenClick();
    EXPECT_EQ(view.status.rfind(L"Open failed: Vtx.NoSuchControlObject is not registered (0x8", 0), 0u)
        << testing::PrintToString(view.status);
    EXPECT_EQ(view.resultCode, L"");
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace
} // namespace vtx::setup::test
