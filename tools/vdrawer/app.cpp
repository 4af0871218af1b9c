// The virtual drawer's event loop: one poll over the signals, the line (while it drains) and the control
// clients.
#include "app.h"

#include "sys_error.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <climits>

namespace vdrawer {

App::App(const Options& options)
    : signals_({SIGTERM, SIGINT}), line_(options.prefix, options.com),
      drawer_(timers_, options.auto_close,
              [this](std::span<const std::uint8_t> bytes) { line_.write(bytes); }),
      server_(options.control_port,
              {.on_line = [this](ControlServer::ClientId id,
                                 std::string_view text) { controller_.on_line(id, text); },
               .on_disconnect = [this](ControlServer::ClientId id) { controller_.on_client_gone(id); }}),
      controller_(drawer_, line_, timers_, server_) {}

void App::run() {
    WatchList watches;
    std::vector<pollfd> fds;
    while (!stop_ && !controller_.quit_requested()) {
        watches.clear();
        watches.push_back({signals_.fd(), POLLIN, [this](short) {
                               if (signals_.take() != 0) {
                                   stop_ = true;
                               }
                           }});
        // Before the control clients: a command handled later in this round may replace the pty.
        if (line_.plugged() && line_.draining()) {
            watches.push_back({line_.master_fd(), POLLIN, [this](short) { read_line_bytes(); }});
        }
        server_.add_watches(watches);

        fds.clear();
        for (const Watch& watch : watches) {
            fds.push_back({watch.fd, watch.events, 0});
        }
        const int ready = ::poll(fds.data(), fds.size(), poll_timeout_ms());
        if (ready < 0 && errno != EINTR) {
            throw_errno("poll");
        }
        for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].revents != 0) {
                watches[i].on_ready(fds[i].revents);
            }
        }
        timers_.run_due(Clock::now());
        server_.housekeeping();
    }
    server_.flush_all();
}

void App::read_line_bytes() {
    std::array<std::uint8_t, 4096> buf{};
    for (;;) {
        const ssize_t n = ::read(line_.master_fd(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // EAGAIN: drained. EIO cannot last while we hold the slave open.
        }
        drawer_.receive(std::span(buf.data(), static_cast<std::size_t>(n)), Clock::now());
        controller_.on_rx_grew();
    }
}

int App::poll_timeout_ms() const {
    const auto due = timers_.next_due();
    if (!due) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

} // namespace vdrawer
