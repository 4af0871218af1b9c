// Blocking the given signals and reading them through a signalfd; the old mask comes back at the end.
#include "signal_fd.h"

#include "sys_error.h"

#include <sys/signalfd.h>

namespace vdrawer {

SignalFd::SignalFd(std::initializer_list<int> signals) {
    sigset_t mask;
    sigemptyset(&mask);
    for (int sig : signals) {
        sigaddset(&mask, sig);
    }
    if (::sigprocmask(SIG_BLOCK, &mask, &old_mask_) != 0) {
        throw_errno("sigprocmask");
    }
    fd_.reset(::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd_) {
        const int saved = errno;
        ::sigprocmask(SIG_SETMASK, &old_mask_, nullptr);
        errno = saved;
        throw_errno("signalfd");
    }
}

SignalFd::~SignalFd() {
    fd_.reset();
    ::sigprocmask(SIG_SETMASK, &old_mask_, nullptr);
}

int SignalFd::take() {
    signalfd_siginfo info{};
    const ssize_t n = ::read(fd_.get(), &info, sizeof info);
    if (n != static_cast<ssize_t>(sizeof info)) {
        return 0;
    }
    return static_cast<int>(info.ssi_signo);
}

} // namespace vdrawer
