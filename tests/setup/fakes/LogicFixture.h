#pragma once
// The main window's logic wired to fakes: an installed device (class key and
// device key present, full rights) unless a test changes that.
#include "FakeMessageBoxes.h"
#include "FakePortProbe.h"
#include "FakeSetupRegistry.h"
#include "FakeViews.h"
#include "ScriptedControlObject.h"

#include "logic/FrmMain.h"
#include "logic/RegistryLayout.h"

#include <gtest/gtest.h>

namespace vtx::setup::test {

class LogicFixture : public ::testing::Test {
protected:
    explicit LogicFixture(const BuildProfile& profile = kUsbBuild) : build(profile) {
        registry.AddKey(classKey);
        registry.AddKey(deviceKey);
    }

    void Name(const std::wstring& name, RegValue device) { registry.Set(classKey, name, std::move(device)); }
    void Count(const std::wstring& text) { registry.Set(deviceKey, L"LDN", text); }
    RegValue StoredCount() const { return registry.Get(deviceKey, L"LDN"); }
    Shown AdminRefusal() const { return {kAdminOnly, std::wstring(build.appTitle), Buttons::Ok}; }
    // Clicks Delete with `typed` in the LDN box, answering its questions as given.
    void Delete(const std::wstring& typed, std::deque<Answer> answers = {}) {
        view.ldnText = typed;
        messages.answers = std::move(answers);
        main.DelLdnClick();
    }

    const BuildProfile& build;
    const std::wstring classKey = opos::kCashDrawerClassKey;
    const std::wstring deviceKey = DeviceKey(build);
    FakeSetupRegistry registry;
    FakeMainView view;
    FakePortProbe ports;
    FakeMessageBoxes messages;
    ControlObjectScript co;
    FrmMain main{build, view, registry, ports, messages, co.Factory()};
};

using Names = std::vector<std::wstring>;

} // namespace vtx::setup::test
