#include "ScriptedControlObject.h"

#include <algorithm>

namespace vtx::setup::test {

ControlObjectFactory ControlObjectScript::Factory() {
    return [this]() -> std::unique_ptr<ControlObject> {
        if (creationFails) {
            throw AutomationError(*creationFails, L"OPOS.CashDrawer is not registered");
        }
        ++created;
        return std::make_unique<ScriptedControlObject>(*this);
    };
}

void ScriptedControlObject::Call(const std::wstring& member, const std::wstring& args) {
    m_script.calls.push_back(member + L"(" + args + L")");
    if (std::find(m_script.failing.begin(), m_script.failing.end(), member) != m_script.failing.end()) {
        throw AutomationError(DISP_E_MEMBERNOTFOUND, member + L": Member not found");
    }
}

void ScriptedControlObject::Open(const std::wstring& deviceName) {
    Call(L"Open", deviceName);
}

void ScriptedControlObject::Claim(short timeout) {
    Call(L"Claim", std::to_wstring(timeout));
}

void ScriptedControlObject::SetDeviceEnabled(bool enabled) {
    Call(L"DeviceEnabled", enabled ? L"true" : L"false");
}

void ScriptedControlObject::OpenDrawer() {
    Call(L"OpenDrawer");
}

void ScriptedControlObject::CheckHealth(long level) {
    Call(L"CheckHealth", std::to_wstring(level));
}

std::wstring ScriptedControlObject::CheckHealthText() {
    Call(L"CheckHealthText");
    return m_script.healthText;
}

void ScriptedControlObject::ReleaseDevice() {
    Call(L"ReleaseDevice");
}

long ScriptedControlObject::Close() {
    Call(L"Close");
    return m_script.closeReturns;
}

long ScriptedControlObject::ResultCode() {
    Call(L"ResultCode");
    return m_script.resultCode;
}

} // namespace vtx::setup::test
