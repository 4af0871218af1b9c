#pragma once
// A Control Object (linked in-process) whose logical device names the fake
// service registered by the test.
#include "FakeService.h"
#include "RecordingSink.h"

#include "CashDrawerControl.h"
#include "ControlObjectIds.h"
#include "DeviceRegistry.h"
#include "Dispatch.h"
#include "com/ComPtr.h"

#include <ocidl.h>

#include <gtest/gtest.h>

namespace vtx::test {

inline void SetDeviceDefault(const DeviceKey& device, const std::wstring& text) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, device.Path().c_str(), nullptr, REG_SZ, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

inline ComPtr<IDispatch> NewControlObject() {
    ComPtr<IDispatch> co;
    EXPECT_EQ(co::CCashDrawerControl::Create(IID_IDispatch, co.put_void()), S_OK);
    return co;
}

class ControlTest : public ::testing::Test {
protected:
    void SetUp() override { SetDeviceDefault(device, kFakeServiceProgId); }

    long Call(DISPID id, std::initializer_list<VARIANT> args = {}) {
        return CallLong(control.get(), id, args);
    }
    long Open(const std::wstring& name) {
        Arg text(Text(name.c_str()));
        return Call(co_dispid::Open, {text.v()});
    }
    long Get(DISPID id) {
        InvokeResult r = InvokeRaw(control.get(), id, {}, DISPATCH_PROPERTYGET);
        EXPECT_EQ(r.hr, S_OK) << "property " << id;
        return V_VT(r.value.get()) == VT_I4 ? V_I4(r.value.get()) : -99999;
    }
    bool GetBool(DISPID id) {
        InvokeResult r = InvokeRaw(control.get(), id, {}, DISPATCH_PROPERTYGET);
        EXPECT_EQ(r.hr, S_OK) << "property " << id;
        EXPECT_EQ(V_VT(r.value.get()), VT_BOOL) << "property " << id;
        return V_BOOL(r.value.get()) != VARIANT_FALSE;
    }
    HRESULT Put(DISPID id, VARIANT value) {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                               nullptr, nullptr);
    }
    long ResultCode() { return Get(co_dispid::ResultCode); }

    // Connects a sink to the Control Object's events; returns the cookie.
    DWORD Connect(IUnknown* sink) {
        ComPtr<IConnectionPoint> point = EventPoint();
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
        return cookie;
    }
    ComPtr<IConnectionPoint> EventPoint() {
        ComPtr<IConnectionPointContainer> container;
        EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
        ComPtr<IConnectionPoint> point;
        EXPECT_EQ(container->FindConnectionPoint(co::DIID_CashDrawerControlEvents, point.put()), S_OK);
        return point;
    }

    std::shared_ptr<FakeServiceScript> script = std::make_shared<FakeServiceScript>();
    FakeServiceRegistration registration{script};
    DeviceKey device{UniqueDeviceName(L"VX-CO")};
    ComPtr<IDispatch> control = NewControlObject();
};

} // namespace vtx::test
