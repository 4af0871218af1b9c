#pragma once
// Both servers registered through regsvr32, a logical device on the virtual
// drawer whose service is the registered service object, and the Control
// Object created by its ProgID, as a POS application has them.
#include "ChildProcess.h"
#include "RecordingSink.h"

#include "ControlObjectIds.h"
#include "DeviceRegistry.h"
#include "Dispatch.h"
#include "MessagePump.h"
#include "VirtualDrawer.h"
#include "WinePath.h"
#include "com/ComPtr.h"

#include <ocidl.h>

#include <gtest/gtest.h>

namespace vtx::test {

inline constexpr wchar_t kServiceProgId[] = L"Veltrix.OPOS.CashDrawerUSB";

inline void Regsvr32(const char* dll) {
    ProgramRun run = RunRegsvr32(DosPathOf(dll), false);
    ASSERT_TRUE(run.started) << "cannot start regsvr32";
    ASSERT_FALSE(run.timedOut);
    ASSERT_EQ(run.exitCode, 0u) << "regsvr32 " << dll << ": " << run.output;
}

inline ComPtr<IDispatch> CreateByProgId(const wchar_t* progId) {
    CLSID clsid{};
    ComPtr<IDispatch> object;
    EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()), S_OK);
    return object;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Regsvr32(VTX_SERVICE_DLL));
        ASSERT_NO_FATAL_FAILURE(Regsvr32(VTX_CONTROL_DLL));
        drawer.Reset();
        // The drawer closes itself after a while, as a cashier closes it.
        drawer.Expect("AUTOCLOSE 2000");
        device.SetPort(drawer.PortName());
        std::wstring progId = kServiceProgId;
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, device.Path().c_str(), nullptr, REG_SZ, progId.c_str(),
                                  static_cast<DWORD>((progId.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        control = CreateByProgId(co::kProgId);
        ASSERT_TRUE(control);
    }
    void TearDown() override {
        control.reset();
        drawer.Reset();
    }

    long Call(DISPID id, std::initializer_list<VARIANT> args = {}) {
        return CallLong(control.get(), id, args);
    }
    long Open(const std::wstring& name) {
        Arg text(Text(name.c_str()));
        return Call(co_dispid::Open, {text.v()});
    }
    long ResultCode() {
        InvokeResult r = InvokeRaw(control.get(), co_dispid::ResultCode, {}, DISPATCH_PROPERTYGET);
        return V_VT(r.value.get()) == VT_I4 ? V_I4(r.value.get()) : -99999;
    }
    long Enable() {
        VARIANT on = Bool(true);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&on, &named, 1, 1};
        EXPECT_EQ(control->Invoke(co_dispid::DeviceEnabled, IID_NULL, LOCALE_USER_DEFAULT,
                                  DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr),
                  S_OK);
        return ResultCode();
    }
    ComPtr<RecordingSink> ConnectSink() {
        ComPtr<RecordingSink> sink = RecordingSink::New();
        ComPtr<IConnectionPointContainer> container;
        ComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
        EXPECT_EQ(container->FindConnectionPoint(co::DIID_CashDrawerControlEvents, point.put()), S_OK);
        EXPECT_EQ(point->Advise(sink.get(), &cookie), S_OK);
        return sink;
    }

    VirtualDrawer drawer;
    DeviceKey device{UniqueDeviceName(L"VX-E2E")};
    ComPtr<IDispatch> control;
};

} // namespace vtx::test
