#pragma once
// The windows' controls as plain state, for the logic tests.
#include "logic/MainView.h"
#include "logic/NewLdnView.h"

#include <functional>
#include <string>
#include <vector>

namespace vtx::setup::test {

class FakeMainView final : public MainView {
public:
    std::wstring PortText() override { return portText; }
    void SetPortText(const std::wstring& text) override { portText = text; }
    void AddPortChoice(const std::wstring& port) override { portChoices.push_back(port); }
    void DisablePortBox() override { portEnabled = false; }
    std::wstring LdnText() override { return ldnText; }
    void ClearLdnList() override {
        ldnList.clear();
        ldnText.clear();
    }
    void AddLdn(const std::wstring& name) override { ldnList.push_back(name); }
    int LdnCount() override { return static_cast<int>(ldnList.size()); }
    void SelectFirstLdn() override { ldnText = ldnList.at(0); }
    void SetStatus(const std::wstring& text) override { status = text; }
    void SetResultCode(const std::wstring& text) override { resultCode = text; }
    void ShowPolicySettings(const std::wstring& text) override { policyText = text; }
    void ShowNewLdnDialog() override {
        ++dialogsShown;
        if (onDialog) {
            onDialog();
        }
    }

    std::wstring portText = L"ComboPort";
    std::vector<std::wstring> portChoices;
    bool portEnabled = true;
    std::wstring ldnText;
    std::vector<std::wstring> ldnList;
    std::wstring status;
    std::wstring resultCode;
    std::wstring policyText;
    int dialogsShown = 0;
    std::function<void()> onDialog;
};

class FakeNewLdnView final : public NewLdnView {
public:
    explicit FakeNewLdnView(std::wstring device) : deviceText(std::move(device)) {}
    void EnableOk(bool enabled) override { okEnabled = enabled; }
    std::wstring NameText() override { return nameText; }
    std::wstring DeviceText() override { return deviceText; }
    void Close() override { ++closed; }

    bool okEnabled = true;
    std::wstring nameText;
    std::wstring deviceText;
    int closed = 0;
};

} // namespace vtx::setup::test
