#pragma once
// The fixture of the service object's tests against the virtual drawer: a fresh object opened on the drawer's
// port for a fake Control Object, closed and let go after each test, all on the test's thread.
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "ServiceObject.h"
#include "VirtualDrawer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace vtx::test {

class DrawerServiceTest : public ::testing::Test {
protected:
    explicit DrawerServiceTest(const wchar_t* deviceStem) : device(UniqueDeviceName(deviceStem)) {}

    void SetUp() override {
        drawer.Reset();
        device.SetPort(drawer.PortName());
        ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);
    }
    void TearDown() override {
        CallLong(so.get(), so_dispid::Close);
        so.reset();
    }

    long Number(long pidx) { return CallLong(so.get(), so_dispid::GetPropertyNumber, {Long(pidx)}); }
    long Enable(long value) {
        CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(3), Long(value)});
        return Number(6);
    }
    // Status requests the drawer has received so far.
    int Requests() {
        std::string stats = drawer.Expect("STATS");
        size_t at = stats.find("requests=");
        return at == std::string::npos ? -1 : std::atoi(stats.c_str() + at + 9);
    }

    VirtualDrawer drawer;
    DeviceKey device;
    FakeControlObject co;
    ComPtr<IDispatch> so = NewServiceObject();
    CCashDrawer* object = CCashDrawer::FromDispatch(so.get());
};

} // namespace vtx::test
