#pragma once
// How the virtual drawer reports that start-up succeeded or failed, and how it goes into the background.
#include "unique_fd.h"

#include <string_view>

namespace vdrawer {

// Reports the outcome of start-up to whoever is waiting for it: the parent of a daemon through a pipe,
// or, in the foreground, the terminal (only failures).
class Readiness {
public:
    Readiness() = default;
    explicit Readiness(UniqueFd pipe) : pipe_(std::move(pipe)) {}

    void ready();
    void failed(std::string_view message);

private:
    UniqueFd pipe_;
};

// Forks into the background. Only the child returns; the parent waits for the child's Readiness and
// exits 0 when it is ready, 1 when it failed. The child has its own session and /dev/null for stdio,
// so nothing that waits on our pipes (ctest, a shell's $(...)) is kept waiting.
Readiness daemonize();

} // namespace vdrawer
