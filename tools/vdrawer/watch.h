#pragma once
// One descriptor the event loop should poll, and what to do when it is ready.
#include <functional>
#include <vector>

namespace vdrawer {

struct Watch {
    int fd = -1;
    short events = 0;
    std::function<void(short revents)> on_ready;
};

using WatchList = std::vector<Watch>;

} // namespace vdrawer
