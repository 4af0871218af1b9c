// The main window's start-up, port box and logical device list, with a fake
// registry, fake message boxes and fake controls.
#include "fakes/LogicFixture.h"

namespace vtx::setup::test {
namespace {

using SetupStartup = LogicFixture;

TEST_F(SetupStartup, PortBoxShowsTheStoredPortWhole) {
    registry.Set(deviceKey, L"Port", std::wstring(L"COM3"));
    main.Load();
    EXPECT_EQ(view.portText, L"COM3");
    EXPECT_EQ(view.policyText, L"") << "no policy, no line for it";
}

TEST_F(SetupStartup, PortBoxIsEmptyWhenThePortOrTheDeviceKeyIsMissing) {
    main.Load();
    EXPECT_EQ(view.portText, L"");

    registry.RemoveKey(deviceKey);
    view.portText = L"ComboPort";
    main.Load();
    EXPECT_EQ(view.portText, L"");
}

TEST_F(SetupStartup, WithoutACountTheDevicesNamesAreListedInOrderAndTheFirstSelected) {
    Name(L"POS1", std::wstring(L"VX-CDUSB"));
    Name(L"Other", std::wstring(L"VX-CD"));
    Name(L"POS3", std::wstring(L"VX-CDUSB"));
    main.Load();
    EXPECT_EQ(view.ldnList, (Names{L"POS1", L"POS3"}));
    EXPECT_EQ(view.ldnText, L"POS1");
}

TEST_F(SetupStartup, OnlyTextEqualToTheDeviceNameInCaseAndWholeIsListed) {
    Name(L"lower", std::wstring(L"vx-cdusb"));
    Name(L"padded", std::wstring(L"VX-CDUSB "));
    Name(L"number", std::int32_t{5});
    Name(L"bytes", Bytes{'V', 'X', '-', 'C', 'D', 'U', 'S', 'B'});
    Name(L"POS1", std::wstring(L"VX-CDUSB"));
    main.Load();
    EXPECT_EQ(view.ldnList, (Names{L"POS1"}));
}

TEST_F(SetupStartup, ACountOfZeroLeavesTheListEmpty) {
    Name(L"POS1", std::wstring(L"VX-CDUSB"));
    Count(L"0");
    main.Load();
    EXPECT_TRUE(view.ldnList.empty());
    EXPECT_EQ(view.ldnText, L"");
}

TEST_F(SetupStartup, ACountThatIsNotANumberCountsAsZero) {
    Name(L"POS1", std::wstring(L"VX-CDUSB"));
    Count(L"many");
    main.Load();
    EXPECT_TRUE(view.ldnList.empty());

    Count(L"2 names");
    main.Load();
    EXPECT_EQ(view.ldnList, (Names{L"POS1"}));
}

TEST_F(SetupStartup, WithoutTheClassKeyTheListIsEmptyAndNothingIsShown) {
    registry.RemoveKey(classKey);
    main.Load();
    EXPECT_TRUE(view.ldnList.empty());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SetupStartup, UsbBuildOffersTheComPortsThatOpenInOrder) {
    ports.openable = {L"COM12", L"COM3", L"LPT1", L"COM21", L"COM20", L"COM10"};
    registry.Set(deviceKey, L"Port", std::wstring(L"COM9"));
    main.Load();
    Names com;
    for (int n = 1; n <= 20; ++n) {
        com.push_back(L"COM" + std::to_wstring(n));
    }
    EXPECT_EQ(ports.probed, com);
    EXPECT_EQ(view.portChoices, (Names{L"COM3", L"COM10", L"COM12", L"COM20"}));
    EXPECT_EQ(view.portText, L"COM9") << "the choices do not replace the stored port";
}

// Only the device values a policy may set are shown, in the key's order.
TEST_F(SetupStartup, ValuesThePolicySetsAreShownAsManaged) {
    registry.Set(kPolicyKeyPath, L"AutoReconnect", std::int32_t{-1});
    registry.Set(kPolicyKeyPath, L"Port", std::wstring(L"COM9"));
    registry.Set(kPolicyKeyPath, L"TraceFile", Bytes{'%', 'T', '%', 0, 'x'}); // REG_EXPAND_SZ
    main.Load();
    EXPECT_EQ(view.policyText, std::wstring(kSetByPolicy) + L"AutoReconnect = 4294967295, TraceFile = %T%");
}

class SetupSerialStartup : public LogicFixture {
protected:
    SetupSerialStartup() : LogicFixture(kSerialBuild) {}
};

TEST_F(SetupSerialStartup, SerialBuildOffersParallelPortsAfterTheComPorts) {
    ports.openable = {L"LPT2", L"COM3", L"LPT1"};
    main.Load();
    ASSERT_EQ(ports.probed.size(), 25u);
    EXPECT_EQ(ports.probed[19], L"COM20");
    EXPECT_EQ(ports.probed[20], L"LPT1");
    EXPECT_EQ(ports.probed[24], L"LPT5");
    EXPECT_EQ(view.portChoices, (Names{L"COM3", L"LPT1", L"LPT2"}));
}

TEST_F(SetupSerialStartup, ListsTheNamesOfItsOwnDevice) {
    Name(L"USB1", std::wstring(L"VX-CDUSB"));
    Name(L"SER1", std::wstring(L"VX-CD"));
    main.Load();
    EXPECT_EQ(view.ldnList, (Names{L"SER1"}));
}

using SetupPortBox = LogicFixture;

TEST_F(SetupPortBox, TrimmedTextIsStoredAtEveryLossOfFocus) {
    view.portText = L"  COM7 ";
    main.PortBoxLostFocus();
    EXPECT_EQ(registry.Get(deviceKey, L"Port"), RegValue(std::wstring(L"COM7")));
    main.PortBoxLostFocus();
    EXPECT_EQ(registry.WriteCount(), 2) << "stored again though unchanged";

    view.portText = L"\tCOM3 ";
    main.PortBoxLostFocus();
    EXPECT_EQ(registry.Get(deviceKey, L"Port"), RegValue(std::wstring(L"\tCOM3"))) << "tabs are not trimmed";

    view.portText = L"   ";
    main.PortBoxLostFocus();
    EXPECT_EQ(registry.Get(deviceKey, L"Port"), RegValue(std::wstring()));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SetupPortBox, CrusbIsStoredAsTheDevicePathMatchingCase) {
    view.portText = L" CRUSB  ";
    main.PortBoxLostFocus();
    EXPECT_EQ(registry.Get(deviceKey, L"Port"), RegValue(std::wstring(L"\\\\.\\VXCR3\\")));

    view.portText = L"crusb";
    main.PortBoxLostFocus();
    EXPECT_EQ(registry.Get(deviceKey, L"Port"), RegValue(std::wstring(L"crusb")));
}

TEST_F(SetupPortBox, RefusedRightsAreToldOnceAndDisableTheBox) {
    registry.Set(deviceKey, L"Port", std::wstring(L"COM1"));
    registry.RefuseRights();
    view.portText = L"COM5";
    main.PortBoxLostFocus();
    EXPECT_EQ(messages.shown, std::vector<Shown>{AdminRefusal()});
    // A disabled box never gets the focus again, so it cannot lose it again.
    EXPECT_FALSE(view.portEnabled);
    EXPECT_EQ(registry.Get(deviceKey, L"Port"), RegValue(std::wstring(L"COM1")));
    EXPECT_EQ(main.CheckAdminAccess(), 1);
}

TEST_F(SetupPortBox, WithoutTheDeviceKeyTheChangeIsRefusedAsForANonAdministrator) {
    registry.RemoveKey(deviceKey);
    view.portText = L"COM5";
    main.PortBoxLostFocus();
    EXPECT_EQ(messages.shown, std::vector<Shown>{AdminRefusal()});
    EXPECT_FALSE(view.portEnabled);
    EXPECT_FALSE(registry.HasKey(deviceKey));
}

class SetupDeleteLdn : public LogicFixture {
protected:
    void SetUp() override {
        Name(L"POS1", std::wstring(L"VX-CDUSB"));
        Name(L"POS2", std::wstring(L"VX-CDUSB"));
        Name(L"Other", std::wstring(L"VX-CD"));
    }
    Shown Question(const std::wstring& name) const {
        return {L"Delete logical device " + name + L"?", L"Delete Logical Device", Buttons::YesNo};
    }
};

TEST_F(SetupDeleteLdn, RefusedRightsAreToldAtEveryClickAndNothingIsAsked) {
    registry.RefuseRights();
    Delete(L"POS1");
    main.DelLdnClick();
    EXPECT_EQ(messages.shown, (std::vector<Shown>{AdminRefusal(), AdminRefusal()}));
    EXPECT_TRUE(registry.Has(classKey, L"POS1"));
}

TEST_F(SetupDeleteLdn, AnEmptyNameIsRefused) {
    Delete(L"");
    EXPECT_EQ(messages.shown, (std::vector<Shown>{{L"No LDN is selected!", L"LDN", Buttons::Ok}}));
}

TEST_F(SetupDeleteLdn, SpacesOnlyPassTheEmptinessTestAndAskAboutAnEmptyName) {
    Delete(L"   ", {Answer::No});
    EXPECT_EQ(messages.shown, std::vector<Shown>{Question(L"")});
    EXPECT_EQ(registry.ValueCount(classKey), 3u);
    EXPECT_TRUE(IsEmpty(StoredCount()));
}

TEST_F(SetupDeleteLdn, ConfirmedDeleteRemovesTheTrimmedNameCountsDownAndRefills) {
    Count(L"2");
    main.Load();
    Delete(L" POS1  ", {Answer::Yes});
    EXPECT_EQ(messages.shown, std::vector<Shown>{Question(L"POS1")});
    EXPECT_FALSE(registry.Has(classKey, L"POS1"));
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"1")));
    EXPECT_EQ(view.ldnList, (Names{L"POS2"}));
    EXPECT_EQ(view.ldnText, L"POS2");
}

TEST_F(SetupDeleteLdn, CountReachingZeroLeavesTheListEmptyAndSaysSo) {
    Count(L"1");
    Delete(L"POS2", {Answer::Yes});
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"0")));
    EXPECT_TRUE(view.ldnList.empty());
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1],
              (Shown{L"No LDN for VX-CDUSB in the registry, please name a new LDN", L"No LDN", Buttons::Ok}));
}

TEST_F(SetupDeleteLdn, MissingCountBecomes99999) {
    Delete(L"POS2", {Answer::Yes});
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"99999")));
    EXPECT_EQ(view.ldnList, (Names{L"POS1"}));
}

// A count beyond 32 bits is taken at the nearest limit instead of wrapping
// round (or failing the click, as an overflow would).
TEST_F(SetupDeleteLdn, CountsBeyondThirtyTwoBitsSaturateInsteadOfWrapping) {
    Count(L"99999999999");
    Delete(L"POS2", {Answer::Yes, Answer::Yes});
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"2147483646")));

    Count(L"-2147483648");
    view.ldnText = L"POS1";
    main.DelLdnClick();
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"-2147483648")));
}

TEST_F(SetupDeleteLdn, AnUnknownNameStillCountsDownAndTheCountMayGoNegative) {
    Count(L"zero");
    Delete(L"Nobody", {Answer::Yes});
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"-1")));
    EXPECT_EQ(registry.ValueCount(classKey), 3u);
    EXPECT_EQ(view.ldnList, (Names{L"POS1", L"POS2"})) << "a count other than 0 refills the list";
}

TEST_F(SetupDeleteLdn, AnsweringNoChangesNothing) {
    Count(L"2");
    main.Load();
    Delete(L"POS1", {Answer::No});
    EXPECT_TRUE(registry.Has(classKey, L"POS1"));
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"2")));
    EXPECT_EQ(view.ldnList, (Names{L"POS1", L"POS2"}));
}

class SetupSerialDeleteLdn : public LogicFixture {
protected:
    SetupSerialDeleteLdn() : LogicFixture(kSerialBuild) {}
};

TEST_F(SetupSerialDeleteLdn, NoLdnMessageNamesTheBuildsDevice) {
    Name(L"SER1", std::wstring(L"VX-CD"));
    Count(L"1");
    Delete(L"SER1", {Answer::Yes});
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, L"No LDN for VX-CD in the registry, please name a new LDN");
    EXPECT_EQ(registry.nameDevice, L"VX-CD"); // whose names the other view gives up
}

using SetupAddLdn = LogicFixture;

TEST_F(SetupAddLdn, RefusedRightsKeepTheDialogClosed) {
    registry.RefuseRights();
    main.AddLdnClick();
    main.AddLdnClick();
    EXPECT_EQ(view.dialogsShown, 0);
    EXPECT_EQ(messages.shown, (std::vector<Shown>{AdminRefusal(), AdminRefusal()}));
}

TEST_F(SetupAddLdn, WithRightsTheDialogOpensSilently) {
    main.AddLdnClick();
    EXPECT_EQ(view.dialogsShown, 1);
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace
} // namespace vtx::setup::test
