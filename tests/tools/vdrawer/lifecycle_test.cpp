#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/vdrawer_process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace vdrawer::test {
namespace {

using testing::HasSubstr;
using testing::StartsWith;

int exit_code(int wait_status) {
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

void expect_no_children_left() {
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1) << "a process was left behind";
    EXPECT_EQ(errno, ECHILD);
}

TEST(VdrawerLifecycle, DaemonIsReadyWithTheLinkAndItsFiles) {
    VdrawerProcess vd;
    const auto target = vd.link_target();
    ASSERT_TRUE(target);
    EXPECT_THAT(target->string(), StartsWith("/dev/pts/"));
    EXPECT_EQ(::getsid(vd.pid()), vd.pid()) << "the daemon must lead its own session";
    EXPECT_EQ(vd.command("PING"), "OK PONG");
    EXPECT_EQ(vd.command("STATE"), "OK CLOSED");
    EXPECT_EQ(vd.command("STATS"), "OK requests=0 opens=0 bytes=0");
}

TEST(VdrawerLifecycle, ReplacesAStaleComLink) {
    VdrawerProcess vd({}, [](const std::filesystem::path& prefix) {
        std::filesystem::create_directories(prefix / "dosdevices");
        std::filesystem::create_symlink("/dev/pts/does-not-exist",
                                        prefix / "dosdevices" / ("com" + std::to_string(kTestCom)));
    });
    const auto target = vd.link_target();
    ASSERT_TRUE(target);
    EXPECT_THAT(target->string(), StartsWith("/dev/pts/"));
    EXPECT_NE(target->string(), "/dev/pts/does-not-exist");
}

TEST(VdrawerLifecycle, StartupFailuresAreReportedByTheLaunchingProcess) {
    become_subreaper();
    TempDir dir;
    const auto not_a_dir = dir.path() / "file";
    std::ofstream(not_a_dir) << "x";

    const ProgramResult unusable =
        run_program(vdrawer_argv({"--prefix", not_a_dir.string(), "--com", "3", "--daemon"}), kGuard);
    EXPECT_EQ(exit_code(unusable.wait_status), 1);
    EXPECT_THAT(unusable.err, HasSubstr("vdrawer:"));
    expect_no_children_left();

    const ProgramResult no_com = run_program(vdrawer_argv({"--prefix", dir.path().string()}), kGuard);
    EXPECT_EQ(exit_code(no_com.wait_status), 2);
    EXPECT_THAT(no_com.err, HasSubstr("--com"));

    const ProgramResult bad_com =
        run_program(vdrawer_argv({"--prefix", dir.path().string(), "--com", "0"}), kGuard);
    EXPECT_EQ(exit_code(bad_com.wait_status), 2);
    expect_no_children_left();
}

TEST(VdrawerLifecycle, SignalsRemoveTheLinkAndEndCleanly) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(strsignal(sig));
        VdrawerProcess vd;
        ASSERT_TRUE(vd.link_target());
        EXPECT_TRUE(exited_cleanly(vd.stop_with(sig)));
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(vd.link_path())));
    }
}

TEST(VdrawerLifecycle, QuitAnswersThenEndsCleanly) {
    VdrawerProcess vd;
    EXPECT_EQ(vd.command("quit"), "OK");
    EXPECT_TRUE(exited_cleanly(vd.wait_for_exit()));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(vd.link_path())));
}

TEST(VdrawerLifecycle, LeavesALinkSomeoneElseMadeAlone) {
    VdrawerProcess vd;
    const auto other = vd.dir() / "other-link";
    std::filesystem::create_symlink("/dev/null", other);
    std::filesystem::rename(other, vd.link_path());

    EXPECT_TRUE(exited_cleanly(vd.stop_with(SIGTERM)));
    EXPECT_EQ(vd.link_target(), std::filesystem::path("/dev/null"));
}

TEST(VdrawerCtl, ExitCodeFollowsTheReply) {
    VdrawerProcess vd;
    const std::string port = std::to_string(vd.port());

    const ProgramResult pong = run_program(vdrawer_argv({"ctl", port, "PING"}), kGuard);
    EXPECT_EQ(exit_code(pong.wait_status), 0);
    EXPECT_EQ(pong.out, "OK PONG\n");

    // Several words make one command.
    const ProgramResult mode = run_program(vdrawer_argv({"ctl", port, "MODE", "SPLIT", "50"}), kGuard);
    EXPECT_EQ(exit_code(mode.wait_status), 0);
    EXPECT_EQ(mode.out, "OK\n");

    const ProgramResult refused = run_program(vdrawer_argv({"ctl", port, "MODE", "FAST"}), kGuard);
    EXPECT_EQ(exit_code(refused.wait_status), 1);
    EXPECT_THAT(refused.out, StartsWith("ERR "));

    ASSERT_EQ(vd.command("QUIT"), "OK");
    ASSERT_TRUE(exited_cleanly(vd.wait_for_exit()));
    const ProgramResult nobody = run_program(vdrawer_argv({"ctl", port, "PING"}), kGuard);
    EXPECT_EQ(exit_code(nobody.wait_status), 2);
}

} // namespace
} // namespace vdrawer::test
