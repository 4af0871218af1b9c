#include "child_process.h"

#include "unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <system_error>

namespace vdrawer::test {

namespace {

std::array<UniqueFd, 2> make_pipe() {
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

// glibc 2.36 declares pidfd_open without C linkage, so C++ callers cannot link against it.
int open_pidfd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int remaining_ms(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

} // namespace

void become_subreaper() {
    if (::prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
        throw std::system_error(errno, std::generic_category(), "PR_SET_CHILD_SUBREAPER");
    }
}

ProgramResult run_program(const std::vector<std::string>& argv, std::chrono::milliseconds guard) {
    auto [out_read, out_write] = make_pipe();
    auto [err_read, err_write] = make_pipe();
    std::vector<char*> raw_argv;
    for (const std::string& arg : argv) {
        raw_argv.push_back(const_cast<char*>(arg.c_str()));
    }
    raw_argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0) {
        throw std::system_error(errno, std::generic_category(), "fork");
    }
    if (pid == 0) {
        ::dup2(out_write.get(), STDOUT_FILENO);
        ::dup2(err_write.get(), STDERR_FILENO);
        ::execv(raw_argv[0], raw_argv.data());
        ::_exit(127);
    }
    out_write.reset();
    err_write.reset();

    ProgramResult result;
    const auto deadline = std::chrono::steady_clock::now() + guard;
    std::array<pollfd, 2> fds{{{out_read.get(), POLLIN, 0}, {err_read.get(), POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&result.out, &result.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        const int ready = ::poll(fds.data(), fds.size(), remaining_ms(deadline));
        if (ready == 0) {
            kill_and_reap(pid);
            throw std::runtime_error("'" + argv[0] + "' still had its output open at the guard time");
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            std::array<char, 4096> buf{};
            const ssize_t n = ::read(fds[i].fd, buf.data(), buf.size());
            if (n <= 0) {
                fds[i].fd = -1;
                --open_pipes;
            } else {
                sinks[i]->append(buf.data(), static_cast<std::size_t>(n));
            }
        }
    }
    const auto status = wait_for_exit(pid, std::chrono::milliseconds(remaining_ms(deadline)));
    if (!status) {
        kill_and_reap(pid);
        throw std::runtime_error("'" + argv[0] + "' did not exit by the guard time");
    }
    result.wait_status = *status;
    return result;
}

std::optional<int> wait_for_exit(pid_t pid, std::chrono::milliseconds guard) {
    UniqueFd pidfd(open_pidfd(pid));
    if (!pidfd) {
        throw std::system_error(errno, std::generic_category(), "pidfd_open " + std::to_string(pid));
    }
    pollfd pfd{pidfd.get(), POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(guard.count())) <= 0) {
        return std::nullopt;
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        throw std::system_error(errno, std::generic_category(), "waitpid " + std::to_string(pid));
    }
    return status;
}

void kill_and_reap(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

} // namespace vdrawer::test
