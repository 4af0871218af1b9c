#include "vdrawer_process.h"

#include "child_process.h"

#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <stdexcept>

namespace vdrawer::test {

namespace {

long read_number(const std::filesystem::path& file) {
    std::ifstream in(file);
    long value = -1;
    if (!(in >> value)) {
        throw std::runtime_error("no number in " + file.string());
    }
    return value;
}

// The daemon's parent exits only after readiness, so the pid file exists once it returns.
pid_t start_daemon(const std::filesystem::path& dir, const std::vector<std::string>& extra,
                   const std::function<void(const std::filesystem::path&)>& before_start) {
    become_subreaper();
    if (before_start) {
        before_start(dir / "prefix");
    }
    std::vector<std::string> args{
        "--prefix",    (dir / "prefix").string(), "--com",      std::to_string(kTestCom),
        "--port-file", (dir / "port").string(),   "--pid-file", (dir / "pid").string(),
        "--daemon"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProgramResult launched = run_program(vdrawer_argv(args), kGuard);
    if (!WIFEXITED(launched.wait_status) || WEXITSTATUS(launched.wait_status) != 0) {
        throw std::runtime_error("vdrawer --daemon failed: " + launched.err);
    }
    return static_cast<pid_t>(read_number(dir / "pid"));
}

} // namespace

OwnedProcess::~OwnedProcess() {
    if (reaped_) {
        return;
    }
    try {
        if (signal_and_wait(SIGTERM)) {
            return;
        }
    } catch (const std::exception&) {
        // Fall through to the hard way.
    }
    kill_and_reap(pid_);
}

std::optional<int> OwnedProcess::signal_and_wait(int signal) {
    if (signal != 0) {
        ::kill(pid_, signal);
    }
    const auto status = test::wait_for_exit(pid_, kGuard);
    reaped_ = reaped_ || status.has_value();
    return status;
}

VdrawerProcess::VdrawerProcess(const std::vector<std::string>& extra_args,
                               const std::function<void(const std::filesystem::path&)>& before_start)
    : process_(start_daemon(dir_.path(), extra_args, before_start)),
      port_(static_cast<std::uint16_t>(read_number(dir_.path() / "port"))), control_(port_) {}

std::filesystem::path VdrawerProcess::link_path() const {
    return prefix() / "dosdevices" / ("com" + std::to_string(kTestCom));
}

std::optional<std::filesystem::path> VdrawerProcess::link_target() const {
    std::error_code ec;
    auto target = std::filesystem::read_symlink(link_path(), ec);
    if (ec) {
        return std::nullopt;
    }
    return target;
}

std::vector<std::string> vdrawer_argv(const std::vector<std::string>& args) {
    std::vector<std::string> argv{VDRAWER_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

bool exited_cleanly(const std::optional<int>& wait_status) {
    return wait_status && WIFEXITED(*wait_status) && WEXITSTATUS(*wait_status) == 0;
}

} // namespace vdrawer::test
