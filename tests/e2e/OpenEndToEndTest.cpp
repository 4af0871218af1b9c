// How the Control Object finds a device and lets it go, end to end.
#include "EndToEndFixture.h"
#include "ThreadCount.h"

#include "service/CashDrawerProperties.h"

namespace vtx::test {
namespace {

TEST_F(EndToEnd, OpensByALogicalDeviceName) {
    LogicalDeviceName ldn(UniqueDeviceName(L"LDN-E2E"), device.Name());
    EXPECT_EQ(Open(ldn.Name()), 0);
    EXPECT_EQ(Call(co_dispid::Claim, {Long(1000)}), 0);
    EXPECT_EQ(Call(co_dispid::ReleaseDevice), 0);
    EXPECT_EQ(Call(co_dispid::Close), 0);
}

TEST_F(EndToEnd, OpenOfAMissingDeviceFailsAndLeavesItClosed) {
    EXPECT_EQ(Open(UniqueDeviceName(L"VX-E2E-NONE")), 109);
    EXPECT_EQ(ResultCode(), 109);
    EXPECT_EQ(Call(co_dispid::Claim, {Long(0)}), 101);
    EXPECT_EQ(Call(co_dispid::Close), 101);
}

TEST_F(EndToEnd, SinksStayConnectedAcrossCloseAndOpenAndHearTheNewSession) {
    ComPtr<RecordingSink> sink = ConnectSink();
    ASSERT_EQ(Open(device.Name()), 0);
    ASSERT_EQ(Call(co_dispid::Close), 0);
    ASSERT_EQ(Open(device.Name()), 0);
    ASSERT_EQ(Call(co_dispid::Claim, {Long(1000)}), 0);
    ASSERT_EQ(Enable(), 0);
    drawer.Expect("OPEN");
    ASSERT_TRUE(PumpUntil([&] { return !sink->Events().empty(); }, 20000));
    EXPECT_EQ(sink->Events()[0].data, 1);
    EXPECT_EQ(Call(co_dispid::Close), 0);
}

TEST_F(EndToEnd, LettingGoOfTheControlObjectOfAnEnabledDeviceStopsItsWorkersAndFreesThePort) {
    const int threads = ThreadCount();
    ASSERT_EQ(Open(device.Name()), 0);
    ASSERT_EQ(Call(co_dispid::Claim, {Long(1000)}), 0);
    ASSERT_EQ(Enable(), 0);
    ASSERT_TRUE(drawer.LineHeld());
    control.reset(); // no Close
    EXPECT_FALSE(drawer.LineHeld());
    EXPECT_TRUE(PumpUntil([&] { return ThreadCount() <= threads; }, 10000)) << ThreadCount() << " threads";
}

} // namespace
} // namespace vtx::test
