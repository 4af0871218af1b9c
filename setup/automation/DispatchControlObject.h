#pragma once
// The Control Object reached late-bound through IDispatch, by the dispatch
// identifiers of its type library (Claim by name), as a plain in-process
// COM object on the window's thread.
#include "com/ComPtr.h"
#include "com/Variant.h"
#include "logic/ControlObject.h"

#include <oaidl.h>

#include <memory>
#include <string_view>
#include <vector>

namespace vtx::setup {

inline constexpr wchar_t kControlObjectProgId[] = L"OPOS.CashDrawer";

class DispatchControlObject final : public ControlObject {
public:
    static constexpr DISPID kOpen = 37;
    static constexpr DISPID kClose = 35;
    static constexpr DISPID kReleaseDevice = 38;
    static constexpr DISPID kDeviceEnabled = 17;
    static constexpr DISPID kOpenDrawer = 60;
    static constexpr DISPID kCheckHealth = 31;
    static constexpr DISPID kCheckHealthText = 13;
    static constexpr DISPID kResultCode = 22;

    explicit DispatchControlObject(ComPtr<IDispatch> target) : m_target(std::move(target)) {}

    // Creates the object registered under progId; throws AutomationError.
    static std::unique_ptr<ControlObject> Create(std::wstring_view progId);

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
    // Arguments in call order; Invoke receives them reversed.
    Variant Invoke(const wchar_t* member, DISPID id, WORD flags, std::vector<VARIANT> args = {});
    long ToLong(const wchar_t* member, Variant value);

    ComPtr<IDispatch> m_target;
};

} // namespace vtx::setup
