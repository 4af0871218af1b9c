// The registered service object driven by a Control Object that lacks one of
// the two callbacks: it opens and works, and reports no status change.
#include "EndToEndFixture.h"

#include "FakeControlObject.h"
#include "ServiceObject.h"

namespace vtx::test {

static void PrintTo(FakeControlObject::Lacks lacks, std::ostream* os) {
    *os << (lacks == FakeControlObject::Lacks::DirectIO ? "lacks SODirectIO" : "lacks SOStatusUpdate");
}

namespace {

class PartialControlObject : public EndToEnd,
                             public ::testing::WithParamInterface<FakeControlObject::Lacks> {};

TEST_P(PartialControlObject, ServiceWorksWithoutReportingStatusChanges) {
    FakeControlObject partial(GetParam());
    ComPtr<IDispatch> so = CreateByProgId(kServiceProgId);
    ASSERT_TRUE(so);
    ASSERT_EQ(OpenService(so.get(), device.Name(), &partial), 0);
    ASSERT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(1000)}), 0);
    CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(3), Long(1)});
    ASSERT_EQ(vtx::test::ResultCode(so.get()), 0);

    CallVoid(so.get(), so_dispid::OpenDrawer);
    EXPECT_EQ(vtx::test::ResultCode(so.get()), 0);
    auto drawerOpened = [&] { return CallLong(so.get(), so_dispid::GetPropertyNumber, {Long(1001)}); };
    // Pumping all along: a bound Control Object would have had both events by now.
    ASSERT_TRUE(PumpUntil([&] { return drawerOpened() == 1; }, 20000));
    ASSERT_TRUE(PumpUntil([&] { return drawerOpened() == 0; }, 20000));
    EXPECT_EQ(partial.Invocations(), 0);

    EXPECT_EQ(CallLong(so.get(), so_dispid::Close), 0);
    so.reset();
    EXPECT_EQ(partial.OutstandingRefs(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lacking, PartialControlObject,
                         ::testing::Values(FakeControlObject::Lacks::DirectIO,
                                           FakeControlObject::Lacks::StatusUpdate),
                         [](const auto& param) {
                             return param.param == FakeControlObject::Lacks::DirectIO
                                        ? std::string("SODirectIO")
                                        : std::string("SOStatusUpdate");
                         });

} // namespace
} // namespace vtx::test
