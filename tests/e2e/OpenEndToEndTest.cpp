// How the Control Object finds a device, end to end.
#include "EndToEndFixture.h"

#include "service/CashDrawerProperties.h"

namespace vtx::test {
namespace {

namespace dispid = co::dispid;

TEST_F(EndToEnd, OpensByALogicalDeviceName) {
    LogicalDeviceName ldn(UniqueDeviceName(L"LDN-E2E"), device.Name());
    EXPECT_EQ(Open(ldn.Name()), 0);
    EXPECT_EQ(Call(dispid::Claim, {Long(1000)}), 0);
    EXPECT_EQ(Call(dispid::ReleaseDevice), 0);
    EXPECT_EQ(Call(dispid::Close), 0);
}

TEST_F(EndToEnd, OpenOfAMissingDeviceFailsAndLeavesItClosed) {
    EXPECT_EQ(Open(UniqueDeviceName(L"VX-E2E-NONE")), 109);
    EXPECT_EQ(ResultCode(), 109);
    EXPECT_EQ(Call(dispid::Claim, {Long(0)}), 101);
    EXPECT_EQ(Call(dispid::Close), 101);
}

} // namespace
} // namespace vtx::test
