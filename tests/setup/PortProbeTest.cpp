// The port probe against the test prefix's devices: the virtual drawer's port
// opens, and a file named like a port above 9 is not taken for one.
#include "VirtualDrawer.h"

#include "logic/Win32PortProbe.h"
#include "win32/UniqueHandle.h"

#include <gtest/gtest.h>

namespace vtx::setup::test {
namespace {

TEST(SetupPortProbe, OpensPortsByTheirDeviceNameNotFilesOfThatName) {
    Win32PortProbe probe;
    EXPECT_TRUE(probe.CanOpen(vtx::test::VirtualDrawer().PortName()));
    EXPECT_FALSE(probe.CanOpen(L"COM15"));
    // What a bare "COM15" opens: a file in the current folder.
    struct RemovedAfterwards {
        ~RemovedAfterwards() { DeleteFileW(L"COM15"); }
    } file;
    ASSERT_TRUE(UniqueFileHandle(CreateFileW(L"COM15", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr))
                    .valid());
    EXPECT_FALSE(probe.CanOpen(L"COM15"));
}

} // namespace
} // namespace vtx::setup::test
