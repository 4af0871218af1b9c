#pragma once
// Turns the given signals into a readable descriptor for the poll loop; they are blocked while it lives.
#include "unique_fd.h"

#include <signal.h>

#include <initializer_list>

namespace vdrawer {

class SignalFd {
public:
    // Throws std::system_error.
    explicit SignalFd(std::initializer_list<int> signals);
    SignalFd(const SignalFd&) = delete;
    SignalFd& operator=(const SignalFd&) = delete;
    ~SignalFd();

    int fd() const { return fd_.get(); }
    // The next pending signal number, or 0 when none is queued.
    int take();

private:
    sigset_t old_mask_{};
    UniqueFd fd_;
};

} // namespace vdrawer
