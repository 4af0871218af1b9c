#pragma once
// A Control Object whose answers a test sets, recording each call; it can
// refuse to be created or fail one member as a broken automation call would.
#include "logic/ControlObject.h"

#include <optional>
#include <string>
#include <vector>

namespace vtx::setup::test {

struct ControlObjectScript {
    long resultCode = 0;
    long closeReturns = 0;
    std::wstring healthText = L"Internal HCheck: Successful";
    // Members that fail as automation calls ("Claim", "ResultCode", ...).
    std::vector<std::wstring> failing;
    std::optional<HRESULT> creationFails;
    int created = 0;
    std::vector<std::wstring> calls;

    ControlObjectFactory Factory();
};

class ScriptedControlObject final : public ControlObject {
public:
    explicit ScriptedControlObject(ControlObjectScript& script) : m_script(script) {}
    void Open(const std::wstring& deviceName) override;
    void Claim(short timeout) override;
    void SetDeviceEnabled(bool enabled) override;
    void OpenDrawer() override;
    void CheckHealth(long level) override;
    std::wstring CheckHealthText() override;
    void ReleaseDevice() override;
    long Close() override;
    long ResultCode() override;

private:
    void Call(const std::wstring& member, const std::wstring& args = L"");
    ControlObjectScript& m_script;
};

} // namespace vtx::setup::test
