// Start-up verdicts through a pipe (a byte for ready, or one for failed and the reason), and the fork
// whose parent waits for them.
#include "readiness.h"

#include "sys_error.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vdrawer {

namespace {

constexpr char kReady = 'R';
constexpr char kFailed = 'F';

void write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string read_all(int fd) {
    std::string data;
    std::array<char, 512> buf{};
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return data;
        }
        data.append(buf.data(), static_cast<std::size_t>(n));
    }
}

[[noreturn]] void wait_for_child(UniqueFd pipe, pid_t child) {
    const std::string verdict = read_all(pipe.get());
    if (!verdict.empty() && verdict.front() == kReady) {
        std::exit(0);
    }
    // The child gives up by itself after a failure; reap it so nothing is left behind.
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (verdict.empty()) {
        std::fprintf(stderr, "vdrawer: the background process ended during start-up\n");
    } else {
        std::fprintf(stderr, "vdrawer: %s\n", verdict.substr(1).c_str());
    }
    std::exit(1);
}

void detach_stdio() {
    UniqueFd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null) {
        throw_errno("open /dev/null");
    }
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::dup2(null.get(), fd) < 0) {
            throw_errno("dup2");
        }
    }
}

} // namespace

void Readiness::ready() {
    if (pipe_) {
        write_all(pipe_.get(), std::string_view(&kReady, 1));
        pipe_.reset();
    }
}

void Readiness::failed(std::string_view message) {
    if (pipe_) {
        write_all(pipe_.get(), std::string(1, kFailed).append(message));
        pipe_.reset();
    } else {
        std::fprintf(stderr, "vdrawer: %.*s\n", static_cast<int>(message.size()), message.data());
    }
}

Readiness daemonize() {
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) {
        throw_errno("pipe");
    }
    UniqueFd read_end(fds[0]);
    UniqueFd write_end(fds[1]);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        throw_errno("fork");
    }
    if (child > 0) {
        write_end.reset();
        wait_for_child(std::move(read_end), child);
    }
    read_end.reset();
    Readiness readiness(std::move(write_end));
    // No chdir("/"): relative --prefix and file paths must keep meaning what the caller meant.
    try {
        if (::setsid() < 0) {
            throw_errno("setsid");
        }
        detach_stdio();
    } catch (const std::exception& e) {
        readiness.failed(e.what());
        std::_Exit(1);
    }
    return readiness;
}

} // namespace vdrawer
