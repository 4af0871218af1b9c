// The drawer test's calls on the Control Object through IDispatch: creation by ProgID,
// Invoke by DISPID (Claim by name), and every failure of the object as an AutomationError.
#include "automation/DispatchControlObject.h"

#include "com/Bstr.h"

#include <objbase.h>

namespace vtx::setup {

namespace {

VARIANT Arg(VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    return v;
}

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
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID propPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &propPut;
        params.cNamedArgs = 1;
    }
    Variant result;
    EXCEPINFO info{};
    UINT argErr = 0;
    HRESULT hr = m_target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
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
    VARIANT arg = Arg(VT_BSTR);
    V_BSTR(&arg) = name.get(); // borrowed for the call
    Invoke(L"Open", kOpen, DISPATCH_METHOD, {arg});
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
    VARIANT arg = Arg(VT_I2);
    V_I2(&arg) = timeout;
    Invoke(L"Claim", id, DISPATCH_METHOD, {arg});
}

void DispatchControlObject::SetDeviceEnabled(bool enabled) {
    VARIANT arg = Arg(VT_BOOL);
    V_BOOL(&arg) = enabled ? VARIANT_TRUE : VARIANT_FALSE;
    Invoke(L"DeviceEnabled", kDeviceEnabled, DISPATCH_PROPERTYPUT, {arg});
}

void DispatchControlObject::OpenDrawer() {
    Invoke(L"OpenDrawer", kOpenDrawer, DISPATCH_METHOD);
}

void DispatchControlObject::CheckHealth(long level) {
    VARIANT arg = Arg(VT_I4);
    V_I4(&arg) = level;
    Invoke(L"CheckHealth", kCheckHealth, DISPATCH_METHOD, {arg});
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
