// A VBScript POS session run by Wine's own script host against the
// registered servers and the virtual drawer: late binding, by-reference
// VARIANTs and all.
#include "EndToEndFixture.h"

namespace vtx::test {
namespace {

// The script host of this program's architecture: a 32-bit program in a
// 64-bit prefix names SysWOW64's.
std::wstring ScriptHost() {
    wchar_t dir[MAX_PATH] = {};
#ifndef _WIN64
    if (GetSystemWow64DirectoryW(dir, MAX_PATH) != 0) {
        return std::wstring(dir) + L"\\cscript.exe";
    }
#endif
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir) + L"\\cscript.exe";
}

TEST_F(EndToEnd, VbscriptSessionRunsThroughLateBinding) {
    ProgramRun run = RunProgram(Quoted(ScriptHost()) + L" //nologo " +
                                    Quoted(DosPathOf(VTX_POS_SESSION_VBS)) + L" " + device.Name(),
                                90000);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("session passed"), std::string::npos) << run.output;
    EXPECT_FALSE(drawer.IsOpen());
}

} // namespace
} // namespace vtx::test
