// Each build of the utility run as a program under Wine and driven through its
// window: start-up, the port box, adding and deleting logical device names
// through the dialog and the message boxes, and the drawer test against the
// virtual drawer. The registry is checked afterwards and put back as it was.
// With VTX_UTILITY_DIR set (the package test) the builds run from that folder.
#include "VirtualDrawer.h"
#include "run/ComServers.h"
#include "run/InstalledDevice.h"
#include "run/UtilityProcess.h"
#include "run/WindowDriver.h"

#include "BuildConstants.h"
#include "ui/ControlIds.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace vtx::setup::test {
namespace {

using vtx::test::VirtualDrawer;

struct BuildUnderTest {
    const BuildProfile* profile;
    const char* exe;
};

// Names the build in the test's name.
void PrintTo(const BuildUnderTest& b, std::ostream* out) {
    *out << (b.profile == &kUsbBuild ? "cdsetupusb" : "cdsetup");
}

const BuildUnderTest kBuilds[] = {
    {&kUsbBuild, VTX_CDSETUPUSB_EXE},
    {&kSerialBuild, VTX_CDSETUP_EXE},
};

std::vector<std::string> ServerDlls() {
    return {VTX_SO_DLL, VTX_CO_DLL};
}

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kServiceProgId[] = L"Veltrix.OPOS.CashDrawerUSB";

class UtilityRun : public ::testing::TestWithParam<BuildUnderTest> {
protected:
    static std::string Exe() {
        const char* dir = std::getenv("VTX_UTILITY_DIR");
        if (dir == nullptr || *dir == '\0') {
            return GetParam().exe;
        }
        const std::string built = GetParam().exe;
        return std::string(dir) + built.substr(built.find_last_of('/'));
    }
    // Starts the build's program into `app`; false when its window `w` did not appear.
    bool Started() {
        app = std::make_unique<UtilityProcess>(Exe(), std::wstring(build.caption));
        w = app->Window();
        EXPECT_NE(w, nullptr) << "no window captioned as the build's";
        return w != nullptr;
    }
    HWND Box(const std::wstring& title) {
        HWND box = WaitForWindow(app->Id(), kDialogClass, title);
        EXPECT_NE(box, nullptr) << "no window titled " << testing::PrintToString(title);
        return box;
    }
    // The focus goes into a combo box's text field, as a click there puts it.
    static void ClickInto(HWND combo) {
        HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr);
        ASSERT_NE(edit, nullptr);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2), SMTO_NORMAL, 60000, &ignored);
        SendMessageTimeoutW(edit, WM_LBUTTONUP, 0, MAKELPARAM(2, 2), SMTO_NORMAL, 60000, &ignored);
    }
    std::wstring Device() const { return std::wstring(build.deviceName); }
    std::wstring Port() const { return device.DeviceText(L"Port").value_or(L"<none>"); }
    std::wstring MirroredPort() const { return device.MirrorText(L"Port").value_or(L"<none>"); }
    std::wstring Count() const { return device.DeviceText(L"LDN").value_or(L"<none>"); }

    const BuildProfile& build = *GetParam().profile;
    InstalledDevice device{std::wstring(GetParam().profile->deviceName)};
    std::unique_ptr<UtilityProcess> app;
    HWND w = nullptr;
};

TEST_P(UtilityRun, StartsWithTheStoredPortTheDevicesNamesAndTheOpenablePorts) {
    device.Reset(L"COM3", std::nullopt);
    device.SetDeviceTextWithoutNul(L"Port", L"COM3");
    device.SetName(L"E2E-A", Device());
    device.SetName(L"E2E-B", L"VX-OTHER");
    device.SetName(L"E2E-C", L"vx-cd");
    ASSERT_TRUE(Started());

    EXPECT_EQ(ItemText(w, kComboPort), L"COM3");
    EXPECT_EQ(ComboItems(GetDlgItem(w, kCmbLdn)), std::vector<std::wstring>{L"E2E-A"});
    EXPECT_EQ(ItemText(w, kCmbLdn), L"E2E-A");
    const auto ports = ComboItems(GetDlgItem(w, kComboPort));
    const std::wstring drawerPort = L"COM" + std::to_wstring(VirtualDrawer().ComNumber());
    EXPECT_NE(std::find(ports.begin(), ports.end(), drawerPort), ports.end())
        << "the virtual drawer's port is offered";
    EXPECT_EQ(ItemText(w, kLblStatus), L"");
    EXPECT_EQ(ItemText(w, kLblResultCode), L"");

    // The client area is 4485 x 6720 twips; Exit sits at 1560, 6240 and has the focus.
    RECT client{};
    GetClientRect(w, &client);
    EXPECT_EQ(client.right, 4485 / 15);
    EXPECT_EQ(client.bottom, 6720 / 15);
    RECT exit{};
    GetWindowRect(GetDlgItem(w, kCmdExit), &exit);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&exit), 2);
    EXPECT_EQ(exit.left, 1560 / 15);
    EXPECT_EQ(exit.top, 6240 / 15);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &gui));
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(w, kCmdExit));

    EXPECT_TRUE(app->ExitByButton());
}

TEST_P(UtilityRun, PortBoxStoresWhatWasTypedForBothArchitecturesWhenItLosesTheFocus) {
    device.Reset(L"COM3", std::nullopt);
    ASSERT_TRUE(Started());
    HWND portBox = GetDlgItem(w, kComboPort);
    auto typeAndLeave = [&](const wchar_t* typed, const std::wstring& stored) {
        ClickInto(portBox);
        SetItemText(w, kComboPort, typed);
        ClickInto(GetDlgItem(w, kCmbLdn));
        EXPECT_TRUE(Eventually([&] { return Port() == stored; })) << testing::PrintToString(Port());
        EXPECT_TRUE(Eventually([&] { return MirroredPort() == stored; }))
            << "the other architecture's programs see " << testing::PrintToString(MirroredPort());
    };
    typeAndLeave(L"  CRUSB ", L"\\\\.\\VXCR3\\");
    typeAndLeave(L"crusb", L"crusb");

    // Losing the focus to another program stores nothing. A key posted after
    // the loss shows when the window has dealt with it.
    ClickInto(portBox);
    SetItemText(w, kComboPort, L"COM9");
    HWND edit = FindWindowExW(portBox, nullptr, L"Edit", nullptr);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(edit, WM_KILLFOCUS, 0, 0, SMTO_NORMAL, 60000, &ignored);
    PostMessageW(edit, WM_CHAR, L'7', 1);
    EXPECT_TRUE(Eventually([&] { return ItemText(w, kComboPort).find(L'7') != std::wstring::npos; }));
    EXPECT_EQ(Port(), L"crusb");
    EXPECT_TRUE(app->ExitByButton());
}

TEST_P(UtilityRun, WithoutTheDeviceKeyChangesAreRefusedAndThePortBoxDisabled) {
    device.Reset(L"COM3", std::nullopt);
    ASSERT_TRUE(Started());
    device.RemoveDeviceKey(); // as for a user without administrator rights

    HWND portBox = GetDlgItem(w, kComboPort);
    ClickInto(portBox);
    ClickInto(GetDlgItem(w, kCmbLdn));
    HWND box = Box(std::wstring(build.appTitle));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageText(box), L"Only administrator of this computer can setup the OPOS!");
    EXPECT_EQ(GetDlgItem(box, IDYES), nullptr);
    EXPECT_TRUE(Answer(box, IDOK));
    EXPECT_TRUE(Eventually([&] { return !IsWindowEnabled(portBox); }));
    EXPECT_EQ(device.DeviceText(L"Port"), std::nullopt);

    // The buttons tell it at every click.
    PostClick(w, kCmdDel);
    box = Box(std::wstring(build.appTitle));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(Answer(box, IDOK));
    EXPECT_TRUE(app->ExitByButton());
}

TEST_P(UtilityRun, AddsAndDeletesLogicalDevicesThroughTheDialogAndTheMessageBoxes) {
    device.Reset(L"COM3", L"1");
    device.SetName(L"E2E-A", Device());
    ASSERT_TRUE(Started());
    HWND names = GetDlgItem(w, kCmbLdn);

    PostClick(w, kCmdAdd);
    HWND dialog = Box(kNewLdnCaption);
    ASSERT_NE(dialog, nullptr);
    HWND ok = GetDlgItem(dialog, kNewLdnCommand1);
    EXPECT_FALSE(IsWindowEnabled(ok));
    EXPECT_EQ(ItemText(dialog, kNewLdnLabel2), Device());
    SetItemText(dialog, kNewLdnText1, L"  E2E-NEW ");
    EXPECT_TRUE(Eventually([&] { return IsWindowEnabled(ok) != FALSE; }));
    PostClick(dialog, kNewLdnCommand1);
    HWND question = Box(L"LDN Setting");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageText(question), L"Add new logical device E2E-NEW?");
    EXPECT_NE(GetDlgItem(question, IDNO), nullptr);
    EXPECT_TRUE(Answer(question, IDYES));
    EXPECT_TRUE(WaitUntilClosed(dialog));
    EXPECT_TRUE(Eventually([&] { return FocusOf(w) == GetDlgItem(w, kCmdAdd); }));
    EXPECT_EQ(device.NameData(L"E2E-NEW"), Device());
    EXPECT_EQ(Count(), L"2");
    EXPECT_EQ(ComboItems(names), (std::vector<std::wstring>{L"E2E-A", L"E2E-NEW"}));

    SetItemText(w, kCmbLdn, L"E2E-NEW");
    PostClick(w, kCmdDel);
    question = Box(L"Delete Logical Device");
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(MessageText(question), L"Delete logical device E2E-NEW?");
    EXPECT_TRUE(Answer(question, IDYES));
    EXPECT_TRUE(Eventually([&] { return Count() == L"1"; })) << testing::PrintToString(Count());
    // Keyboard users keep their place after a message box.
    EXPECT_TRUE(Eventually([&] { return FocusOf(w) == GetDlgItem(w, kCmdDel); }));
    EXPECT_EQ(device.NameData(L"E2E-NEW"), std::nullopt);
    EXPECT_TRUE(Eventually([&] { return ComboItems(names) == std::vector<std::wstring>{L"E2E-A"}; }));

    // The last one: the count reaches 0 and the window says so.
    SetItemText(w, kCmbLdn, L"E2E-A");
    PostClick(w, kCmdDel);
    question = Box(L"Delete Logical Device");
    ASSERT_NE(question, nullptr);
    EXPECT_TRUE(Answer(question, IDYES));
    HWND none = Box(L"No LDN");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(MessageText(none), L"No LDN for " + Device() + L" in the registry, please name a new LDN");
    EXPECT_TRUE(Answer(none, IDOK));
    EXPECT_EQ(Count(), L"0");
    EXPECT_TRUE(ComboItems(names).empty());
    EXPECT_TRUE(app->ExitByButton());
}

TEST_P(UtilityRun, AControlObjectThatIsNotRegisteredIsShownInTheStatus) {
    ControlObjectUnregistered missing(VTX_CO_DLL);
    ASSERT_TRUE(missing.Done()) << "\"OPOS.CashDrawer\" is still registered";
    device.Reset(L"COM3", std::nullopt);
    ASSERT_TRUE(Started());
    ASSERT_TRUE(Click(w, kCmdOpen));
    EXPECT_EQ(ItemText(w, kLblStatus).rfind(L"Open failed: OPOS.CashDrawer is not registered (0x", 0), 0u)
        << testing::PrintToString(ItemText(w, kLblStatus));
    EXPECT_EQ(ItemText(w, kLblResultCode), L"");
    ASSERT_TRUE(Click(w, kCmdClose));
    EXPECT_EQ(ItemText(w, kLblStatus).rfind(L"Close failed: ", 0), 0u);
    EXPECT_TRUE(app->Running());
    EXPECT_TRUE(app->ExitByButton());
}

TEST_P(UtilityRun, DrawerTestClicksThroughAgainstTheVirtualDrawer) {
    ComServers servers(ServerDlls());
    if (!servers.Ready()) {
        FAIL() << servers.Reason();
    }
    VirtualDrawer drawer;
    drawer.Reset();
    device.Reset(drawer.PortName(), std::nullopt);
    device.SetDeviceText(L"", kServiceProgId);
    ASSERT_TRUE(Started());

    struct Step {
        int button;
        const wchar_t* status;
        const wchar_t* code;
    };
    // CheckHealth is answered in form only: the service object's text and 106.
    const Step steps[] = {
        {kCmdOpen, L"Open", L"0"},
        {kCmdClaim, L"Claimed", L"0"},
        {kCommand1Enable, L"Enabled", L"0"},
        {kCmdOpenDrawer, L"Open drawer", L"0"},
        {kCmdCheckHealth, L"Internal Heath Check: check health level not supported.", L"106"},
        {kCmdRelease, L"Released", L"0"},
        {kCmdClose, L"Closed ", L"0"},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(Click(w, step.button));
        EXPECT_EQ(ItemText(w, kLblStatus), step.status) << "button " << step.button;
        EXPECT_EQ(ItemText(w, kLblResultCode), step.code) << "button " << step.button;
        if (step.button == kCmdOpenDrawer) {
            EXPECT_TRUE(Eventually([&] { return drawer.IsOpen(); })) << "the drawer did not open";
        }
    }
    EXPECT_TRUE(app->ExitByButton());
}

INSTANTIATE_TEST_SUITE_P(Setup, UtilityRun, ::testing::ValuesIn(kBuilds),
                         [](const ::testing::TestParamInfo<BuildUnderTest>& param) {
                             return param.param.profile == &kUsbBuild ? std::string("cdsetupusb")
                                                                      : std::string("cdsetup");
                         });

} // namespace
} // namespace vtx::setup::test
