// The drawer test's calls on the Control Object through IDispatch: creation by ProgID,
// Invoke by DISPID (Claim by name), and every failure of the object as an AutomationError.
#include "automation/DispatchControlObject.h"

#include "com/Bstr.h"
#include "com/Invoke.h"

#include <objbase.h>

namespace vtx::setup {

namespace {

std::wstring Named(const wchar_t* member, const std::wstring& text) {
    return text.empty() ? std::wstring(member) : std::wstring(member) + L": " + text;
}

// The exception's own description when the object raised one.
std::wstring ExceptionText(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn != nullptr) {
        info.pfnDeferredFillIn(&info);
    }
    Bstr source = Bstr::Attach(info.bstrSource);
    Bstr description = Bstr::Attach(info.bstrDescription);
    Bstr help = Bstr::Attach(info.bstrHelpFile);
    return std::wstring(description.view());
}

} // namespace

std::unique_ptr<ControlObject> DispatchControlObject::Create(std::wstring_view progId) {
    const std::wstring id(progId);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(id.c_str(), &clsid);
    if (FAILED(hr)) {
        throw AutomationError(hr, id + L" is not registered");
    }
    ComPtr<IDispatch> target;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, target.put_void());
    if (FAILED(hr) || !target) {
        throw AutomationError(FAILED(hr) ? hr : E_NOINTERFACE, Named(id.c_str(), SystemMessage(hr)));
    }
    return std::make_unique<DispatchControlObject>(std::move(target));
}

Variant DispatchControlObject::Invoke(const wchar_t* member, DISPID id, WORD flags,
                                      std::vector<VARIANT> args) {
    Variant result;
    EXCEPINFO info{};
    UINT argErr = 0;
    HRESULT hr = InvokeByDispid(m_target.get(), id, flags, args,
                                flags == DISPATCH_PROPERTYPUT ? nullptr : result.get(), &info, &argErr);
    if (hr == DISP_E_EXCEPTION) {
        std::wstring text = ExceptionText(info);
        throw AutomationError(info.scode != 0 ? info.scode : hr,
                              Named(member, text.empty() ? SystemMessage(hr) : text));
    }
    if (FAILED(hr)) {
        throw AutomationError(hr, Named(member, SystemMessage(hr)));
    }
    return result;
}

long DispatchControlObject::ToLong(const wchar_t* member, Variant value) {
    HRESULT hr = VariantChangeType(value.get(), value.get(), 0, VT_I4);
    if (FAILED(hr)) {
        throw AutomationError(hr, Named(member, L"not a number"));
    }
    return V_I4(value.get());
}

void DispatchControlObject::Open(const std::wstring& deviceName) {
    Bstr name(deviceName);
    Invoke(L"Open", kOpen, DISPATCH_METHOD, {BstrVariant(name.get())});
}

void DispatchControlObject::Claim(short timeout) {
    // Claim is looked up by name each time it is called.
    wchar_t name[] = L"Claim";
    LPOLESTR names[] = {name};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = m_target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr)) {
        throw AutomationError(hr, Named(L"Claim", SystemMessage(hr)));
    }
    // A short, as the utility has always passed it.
    Invoke(L"Claim", id, DISPATCH_METHOD,
           {TypedVariant(VT_I2, [timeout](VARIANT& v) { V_I2(&v) = timeout; })});
}

void DispatchControlObject::SetDeviceEnabled(bool enabled) {
    Invoke(L"DeviceEnabled", kDeviceEnabled, DISPATCH_PROPERTYPUT, {BoolVariant(enabled)});
}

void DispatchControlObject::OpenDrawer() {
    Invoke(L"OpenDrawer", kOpenDrawer, DISPATCH_METHOD);
}

void DispatchControlObject::CheckHealth(long level) {
    Invoke(L"CheckHealth", kCheckHealth, DISPATCH_METHOD, {LongVariant(level)});
}

std::wstring DispatchControlObject::CheckHealthText() {
    Variant value = Invoke(L"CheckHealthText", kCheckHealthText, DISPATCH_PROPERTYGET);
    HRESULT hr = VariantChangeType(value.get(), value.get(), 0, VT_BSTR);
    if (FAILED(hr)) {
        throw AutomationError(hr, Named(L"CheckHealthText", L"not text"));
    }
    BSTR text = V_BSTR(value.get());
    return std::wstring(text != nullptr ? text : L"", text != nullptr ? SysStringLen(text) : 0u);
}

void DispatchControlObject::ReleaseDevice() {
    Invoke(L"ReleaseDevice", kReleaseDevice, DISPATCH_METHOD);
}

long DispatchControlObject::Close() {
    return ToLong(L"Close", Invoke(L"Close", kClose, DISPATCH_METHOD));
}

long DispatchControlObject::ResultCode() {
    return ToLong(L"ResultCode", Invoke(L"ResultCode", kResultCode, DISPATCH_PROPERTYGET));
}

} // namespace vtx::setup
