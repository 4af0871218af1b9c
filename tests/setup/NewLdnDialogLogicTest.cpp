// The new logical device dialog with a fake registry, fake message boxes and
// the main window's logic on fake controls.
#include "fakes/LogicFixture.h"

#include "logic/FrmNewLdn.h"

#include <functional>

namespace vtx::setup::test {
namespace {

class SetupNewLdn : public LogicFixture {
protected:
    void Confirm(const std::wstring& typed) {
        dialogView.nameText = typed;
        messages.answers = {Answer::Yes};
        dialog.OkClick();
    }

    FakeNewLdnView dialogView{L"VX-CDUSB"};
    frmNewLDN dialog{build, dialogView, registry, messages, main};
};

TEST_F(SetupNewLdn, OkStartsDisabledAndOnceEnabledStaysEnabled) {
    dialog.Load();
    EXPECT_FALSE(dialogView.okEnabled);
    dialog.Text1Change();
    EXPECT_FALSE(dialogView.okEnabled) << "still empty";
    dialogView.nameText = L"P";
    dialog.Text1Change();
    EXPECT_TRUE(dialogView.okEnabled);
    dialogView.nameText = L"";
    dialog.Text1Change();
    EXPECT_TRUE(dialogView.okEnabled);
}

TEST_F(SetupNewLdn, ConfirmedAddStoresTheTrimmedNameRefillsTheListAndCountsUp) {
    Name(L"POS1", std::wstring(L"VX-CDUSB"));
    Count(L"2");
    main.Load();
    dialogView.deviceText = L" VX-CDUSB "; // the label's text, trimmed, is what gets written

    Confirm(L"  POS2 ");
    EXPECT_EQ(messages.shown,
              (std::vector<Shown>{{L"Add new logical device POS2?", L"LDN Setting", Buttons::YesNo}}));
    EXPECT_EQ(registry.Get(classKey, L"POS2"), RegValue(std::wstring(L"VX-CDUSB")));
    EXPECT_EQ(registry.nameDevice, L"VX-CDUSB"); // whose names the other view gives up
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"3")));
    EXPECT_EQ(view.ldnList, (Names{L"POS1", L"POS2"})) << "emptied, then refilled";
    EXPECT_EQ(view.ldnText, L"POS1");
    EXPECT_EQ(dialogView.closed, 1);
}

TEST_F(SetupNewLdn, MissingCountBecomes100001) {
    Confirm(L"POS1");
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"100001")));
}

TEST_F(SetupNewLdn, NamesAreTrimmedOfSpacesOnly) {
    Confirm(L" \tPOS\t ");
    EXPECT_TRUE(registry.Has(classKey, L"\tPOS\t"));
    EXPECT_EQ(messages.shown.at(0).text, L"Add new logical device \tPOS\t?");
}

TEST_F(SetupNewLdn, ANameOfSpacesOnlyBecomesTheDefaultValue) {
    Count(L"1");
    Confirm(L"    ");
    EXPECT_EQ(registry.Get(classKey, L""), RegValue(std::wstring(L"VX-CDUSB")));
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"2")));
    EXPECT_EQ(view.ldnList, (Names{L""}));
}

TEST_F(SetupNewLdn, ANameOfAnotherDeviceIsRedirectedToThisOne) {
    Name(L"POS9", std::wstring(L"VX-CD"));
    Count(L"4");
    Confirm(L"POS9");
    EXPECT_EQ(registry.Get(classKey, L"POS9"), RegValue(std::wstring(L"VX-CDUSB")));
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"5")));
}

TEST_F(SetupNewLdn, AnsweringNoWritesNothingAndCloses) {
    Count(L"2");
    dialogView.nameText = L"POS1";
    messages.answers = {Answer::No};
    dialog.OkClick();
    EXPECT_EQ(registry.WriteCount(), 0);
    EXPECT_EQ(dialogView.closed, 1);
}

TEST_F(SetupNewLdn, RefusedRightsWriteNothingTellTheUserAndClose) {
    Count(L"2");
    registry.RefuseRights();
    Confirm(L"POS1");
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1], AdminRefusal());
    EXPECT_EQ(registry.WriteCount(), 0);
    EXPECT_EQ(StoredCount(), RegValue(std::wstring(L"2")));
    EXPECT_EQ(dialogView.closed, 1);
}

TEST_F(SetupNewLdn, CancelClosesWithoutWriting) {
    dialogView.nameText = L"POS1";
    dialog.CancelClick();
    EXPECT_EQ(registry.WriteCount(), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dialogView.closed, 1);
}

TEST_F(SetupNewLdn, AddedThroughTheMainWindowsButton) {
    view.onDialog = [&] { Confirm(L"POS1"); };
    main.AddLdnClick();
    EXPECT_EQ(view.ldnList, (Names{L"POS1"}));
}

// Lives here because only this fixture has both windows.
TEST_F(SetupNewLdn, EveryChangeThatMissesTheOtherRegistryViewSaysSoAndStaysInItsOwnView) {
    view.portText = L"COM4";
    main.PortBoxLostFocus();
    EXPECT_EQ(view.status, L"") << "both views written";

    registry.FailMirror();
    struct Case {
        const char* change;
        std::function<void()> make;
        std::function<bool()> stored;
    };
    const Case cases[] = {
        {"port",
         [&] {
             view.portText = L"COM5";
             main.PortBoxLostFocus();
         },
         [&] { return registry.Get(deviceKey, L"Port") == RegValue(std::wstring(L"COM5")); }},
        {"add", [&] { Confirm(L"POS9"); }, [&] { return registry.Has(classKey, L"POS9"); }},
        {"delete",
         [&] {
             view.ldnText = L"POS9";
             messages.answers = {Answer::Yes};
             main.DelLdnClick();
         },
         [&] { return !registry.Has(classKey, L"POS9"); }},
    };
    for (const Case& c : cases) {
        view.status.clear();
        c.make();
        EXPECT_EQ(view.status, kMirrorFailed) << c.change;
        EXPECT_TRUE(c.stored()) << c.change;
    }
}

} // namespace
} // namespace vtx::setup::test
