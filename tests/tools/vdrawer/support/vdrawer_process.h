#pragma once

#include "control_client.h"
#include "temp_dir.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vdrawer::test {

inline constexpr int kTestCom = 7;
// Guards against hangs only; everything here normally takes milliseconds.
inline constexpr std::chrono::seconds kGuard{10};

// A child process of ours, ended by its PID (SIGTERM, then SIGKILL) unless the test already saw it exit.
class OwnedProcess {
public:
    explicit OwnedProcess(pid_t pid) : pid_(pid) {}
    OwnedProcess(const OwnedProcess&) = delete;
    OwnedProcess& operator=(const OwnedProcess&) = delete;
    ~OwnedProcess();

    pid_t pid() const { return pid_; }
    // Sends the signal (0: none) and returns the wait status; nullopt if still running at the guard time.
    std::optional<int> signal_and_wait(int signal);

private:
    pid_t pid_;
    bool reaped_ = false;
};

// vdrawer started with --daemon on a fresh Wine prefix directory. The constructor returns once the
// daemon reported readiness.
class VdrawerProcess {
public:
    // before_start may prepare the prefix directory (which does not exist yet) before vdrawer runs.
    explicit VdrawerProcess(
        const std::vector<std::string>& extra_args = {},
        const std::function<void(const std::filesystem::path& prefix)>& before_start = {});

    pid_t pid() const { return process_.pid(); }
    std::uint16_t port() const { return port_; }
    const std::filesystem::path& dir() const { return dir_.path(); }
    std::filesystem::path prefix() const { return dir_.path() / "prefix"; }
    std::filesystem::path link_path() const;
    // Where the com link points; nullopt when there is no link.
    std::optional<std::filesystem::path> link_target() const;

    // A shared control connection for the common case.
    ControlClient& control() { return control_; }
    std::string command(std::string_view line) { return control_.command(line); }

    // Sends the signal and returns the wait status; nullopt if it did not exit by the guard time.
    std::optional<int> stop_with(int signal) { return process_.signal_and_wait(signal); }
    // For when the test asked the process to quit by itself.
    std::optional<int> wait_for_exit() { return process_.signal_and_wait(0); }

private:
    TempDir dir_;
    OwnedProcess process_;
    std::uint16_t port_;
    ControlClient control_;
};

// Argument list for running the built vdrawer.
std::vector<std::string> vdrawer_argv(const std::vector<std::string>& args);

// True when the wait status says: exited normally with code 0.
bool exited_cleanly(const std::optional<int>& wait_status);

} // namespace vdrawer::test
