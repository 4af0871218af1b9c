// The seven test buttons against a scripted Control Object: what each calls
// and what the two labels show, including failures of the object itself.
#include "fakes/LogicFixture.h"

namespace vtx::setup::test {
namespace {

using SetupDrawerTest = LogicFixture;

struct Labels {
    std::wstring status;
    std::wstring code;
    bool operator==(const Labels&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Labels& l) {
    return out << testing::PrintToString(l.status) << " / " << testing::PrintToString(l.code);
}

TEST_F(SetupDrawerTest, SuccessfulStepsShowTheirStatusAndResultCode) {
    auto after = [&](void (FrmMain::*click)()) {
        (main.*click)();
        return Labels{view.status, view.resultCode};
    };
    EXPECT_EQ(after(&FrmMain::OpenClick), (Labels{L"Open", L"0"}));
    EXPECT_EQ(after(&FrmMain::ClaimClick), (Labels{L"Claimed", L"0"}));
    EXPECT_EQ(after(&FrmMain::EnableClick), (Labels{L"Enabled", L"0"}));
    EXPECT_EQ(after(&FrmMain::OpenDrawerClick), (Labels{L"Open drawer", L"0"}));
    EXPECT_EQ(after(&FrmMain::CheckHealthClick), (Labels{L"Internal HCheck: Successful", L"0"}));
    EXPECT_EQ(after(&FrmMain::ReleaseClick), (Labels{L"Released", L"0"}));
    EXPECT_EQ(after(&FrmMain::CloseClick), (Labels{L"Closed ", L"0"}));

    EXPECT_EQ(co.calls,
              (Names{L"Open(VX-CDUSB)", L"ResultCode()", L"Claim(0)", L"ResultCode()", L"DeviceEnabled(true)",
                     L"ResultCode()", L"OpenDrawer()", L"CheckHealth(1)", L"ResultCode()",
                     L"CheckHealthText()", L"ReleaseDevice()", L"ResultCode()", L"Close()"}));
    EXPECT_EQ(co.created, 1) << "one Control Object for the window's life";
}

TEST_F(SetupDrawerTest, FailedStepsShowTheirFailureTextAndTheCode) {
    co.resultCode = 106;
    co.healthText = L"Internal HCheck: Failed";
    main.OpenClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Open failed", L"106"}));
    main.ClaimClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Claim failed", L"106"}));
    main.EnableClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Enable failed", L"106"}));
    main.CheckHealthClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Internal HCheck: Failed", L"106"}));
    main.ReleaseClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Release failed", L"106"}));
}

TEST_F(SetupDrawerTest, CloseShowsWhatCloseReturnedNotTheResultCode) {
    co.resultCode = 0;
    co.closeReturns = 106;
    main.CloseClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Close failed", L"106"}));

    co.resultCode = 106;
    co.closeReturns = 0;
    main.CloseClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Closed ", L"0"}));
    EXPECT_EQ(co.calls, (Names{L"Close()", L"Close()"}));
}

TEST_F(SetupDrawerTest, OpenDrawerLeavesTheResultCodeAsTheLastCommandLeftIt) {
    co.resultCode = 105;
    main.ClaimClick();
    co.resultCode = 0;
    main.OpenDrawerClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Open drawer", L"105"}));
}

TEST_F(SetupDrawerTest, OpenNamesTheBuildsDeviceNotTheSelectedLogicalName) {
    view.ldnText = L"POS1";
    main.OpenClick();
    EXPECT_EQ(co.calls.at(0), L"Open(VX-CDUSB)");
}

TEST_F(SetupDrawerTest, AControlObjectThatCannotBeCreatedIsShownInTheStatus) {
    co.creationFails = CO_E_CLASSSTRING;
    main.OpenClick();
    EXPECT_EQ(view.status, L"Open failed: OPOS.CashDrawer is not registered (0x800401F3)");
    EXPECT_EQ(view.resultCode, L"");
    main.CloseClick();
    EXPECT_EQ(view.status, L"Close failed: OPOS.CashDrawer is not registered (0x800401F3)");

    // Registered meanwhile: the next click creates it.
    co.creationFails.reset();
    main.OpenClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Open", L"0"}));
    EXPECT_EQ(co.created, 1);
}

TEST_F(SetupDrawerTest, AFailingAutomationCallIsShownAndLaterStepsStillRun) {
    co.failing = {L"Claim"};
    main.OpenClick();
    view.resultCode = L"0";
    main.ClaimClick();
    EXPECT_EQ(view.status, L"Claim failed: Claim: Member not found (0x80020003)");
    EXPECT_EQ(view.resultCode, L"") << "no result code was obtained";
    main.EnableClick();
    EXPECT_EQ((Labels{view.status, view.resultCode}), (Labels{L"Enabled", L"0"}));

    co.failing = {L"ResultCode"};
    main.ReleaseClick();
    EXPECT_EQ(view.status, L"Release failed: ResultCode: Member not found (0x80020003)");
    co.failing = {L"OpenDrawer"};
    main.OpenDrawerClick();
    EXPECT_EQ(view.status, L"Open drawer failed: OpenDrawer: Member not found (0x80020003)");
}

class SetupSerialDrawerTest : public LogicFixture {
protected:
    SetupSerialDrawerTest() : LogicFixture(kSerialBuild) {}
};

TEST_F(SetupSerialDrawerTest, OpenNamesTheSerialDevice) {
    main.OpenClick();
    EXPECT_EQ(co.calls.at(0), L"Open(VX-CD)");
}

} // namespace
} // namespace vtx::setup::test
