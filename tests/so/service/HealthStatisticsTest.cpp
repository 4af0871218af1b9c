// Health, DirectIO, firmware and statistics answers in the states reachable
// without enabling the device.
#include "ByRef.h"
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "ServiceObject.h"
#include "VirtualDrawer.h"

#include <gtest/gtest.h>

namespace vtx::test {
namespace {

class HealthStatistics : public ::testing::Test {
protected:
    long Call(DISPID id, std::initializer_list<VARIANT> args) { return CallLong(so.get(), id, args); }
    ComPtr<IDispatch> so = NewServiceObject();
};

TEST_F(HealthStatistics, ClosedObjectAnswersIllegalNotClosed) {
    Arg text(Text(L"file"));
    EXPECT_EQ(Call(so_dispid::CheckHealth, {Long(1)}), 106);
    long data = 0;
    VARIANT dataRef = LongRef(&data);
    BSTR str = nullptr;
    VARIANT strRef = BstrRef(&str);
    EXPECT_EQ(Call(so_dispid::DirectIO, {Long(1), dataRef, strRef}), 106);
    EXPECT_EQ(Call(so_dispid::RetrieveStatistics, {strRef}), 106);
    EXPECT_EQ(str, nullptr);
    EXPECT_EQ(Call(so_dispid::UpdateFirmware, {text.v()}), 106);
    EXPECT_EQ(Call(so_dispid::UpdateStatistics, {text.v()}), 106);
    EXPECT_EQ(Call(so_dispid::ResetStatistics, {text.v()}), 106);
    data = 77;
    EXPECT_EQ(Call(so_dispid::CompareFirmwareVersion, {text.v(), dataRef}), 106);
    EXPECT_EQ(data, 77);
}

TEST_F(HealthStatistics, OpenButDisabledDeviceRefusesByState) {
    VirtualDrawer drawer;
    drawer.Reset();
    DeviceKey device(UniqueDeviceName(L"VX-HEALTH"));
    device.SetPort(drawer.PortName());
    FakeControlObject co;
    ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);

    EXPECT_EQ(Call(so_dispid::CheckHealth, {Long(1)}), 105);
    EXPECT_EQ(CallText(so.get(), so_dispid::GetPropertyString, {Long(1000001)}), L"");

    BSTR str = SysAllocString(L"in");
    VARIANT strRef = BstrRef(&str);
    long data = 0;
    VARIANT dataRef = LongRef(&data);
    EXPECT_EQ(Call(so_dispid::DirectIO, {Long(1), dataRef, strRef}), 103);
    EXPECT_EQ(Call(so_dispid::RetrieveStatistics, {strRef}), 103);
    ASSERT_EQ(Call(so_dispid::Claim, {Long(0)}), 0);
    EXPECT_EQ(Call(so_dispid::DirectIO, {Long(1), dataRef, strRef}), 105);
    EXPECT_EQ(Call(so_dispid::RetrieveStatistics, {strRef}), 105);
    EXPECT_STREQ(str, L"in"); // refused calls leave the caller's string alone
    SysFreeString(str);
    EXPECT_EQ(Call(so_dispid::Close, {}), 0);
}

} // namespace
} // namespace vtx::test
