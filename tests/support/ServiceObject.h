#pragma once
// A fresh service object, reached through IDispatch as a Control Object would.
#include "Dispatch.h"
#include "com/ComPtr.h"
#include "service/CashDrawer.h"
#include "service/DispatchTable.h"

#include <gtest/gtest.h>

namespace vtx::test {

inline ComPtr<IDispatch> NewServiceObject() {
    ComPtr<IDispatch> so;
    EXPECT_EQ(CCashDrawer::Create(IID_IDispatch, so.put_void()), S_OK);
    return so;
}

inline long OpenService(IDispatch* so, const std::wstring& device, IDispatch* controlObject) {
    Arg cls(Text(L"CashDrawer"));
    Arg name(Text(device.c_str()));
    return CallLong(so, so_dispid::OpenService, {cls.v(), name.v(), Disp(controlObject)});
}

inline long ResultCode(IDispatch* so) {
    return CallLong(so, so_dispid::GetPropertyNumber, {Long(6)});
}

} // namespace vtx::test

namespace vtx {

// What the tests read of a service object's insides, and nothing else does.
class CCashDrawerProbe {
public:
    static bool PortIsOpen(const CCashDrawer* o) { return o->m_link.IsOpen(); }
    static bool ReopenPending(const CCashDrawer* o) { return o->m_link.ReopenPending(); }
    static bool StatusMonitorRunning(const CCashDrawer* o) { return o->m_monitor.IsRunning(); }
    static bool EventDispatchRunning(const CCashDrawer* o) {
        return o->m_eventInterface.m_dispatchThread.IsRunning();
    }
    static CEventInterface& EventInterface(CCashDrawer* o) { return o->m_eventInterface; }
};

namespace test {
using Probe = CCashDrawerProbe;
} // namespace test

} // namespace vtx
