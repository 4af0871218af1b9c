#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vdrawer::test {

struct ProgramResult {
    int wait_status = 0;
    std::string out;
    std::string err;
};

// Runs a program to the end, collecting its output. Past the guard it is killed and the test fails.
ProgramResult run_program(const std::vector<std::string>& argv, std::chrono::milliseconds guard);

// Lets orphans of our children (a daemon's background half) be reparented to this process, so the
// tests can wait for them and nothing turns into an unreaped zombie.
void become_subreaper();

// The wait status of a child of ours once it has exited; nullopt if it is still running at the guard.
std::optional<int> wait_for_exit(pid_t pid, std::chrono::milliseconds guard);

// SIGKILL and reap; for clean-up after a failed test.
void kill_and_reap(pid_t pid);

} // namespace vdrawer::test
