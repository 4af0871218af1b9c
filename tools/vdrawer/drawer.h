#pragma once
// The simulated drawer: its state, how it reacts to bytes from the line, and what it has received.
// It does no I/O itself; answers go to the writer, which may run later from the timer queue.
#include "drawer_protocol.h"
#include "reply_policy.h"
#include "request_scanner.h"
#include "timer_queue.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>

namespace vdrawer {

struct DrawerStats {
    std::uint64_t requests = 0;
    std::uint64_t opens = 0;
    std::uint64_t bytes = 0;
};

class Drawer {
public:
    using PortWriter = std::function<void(std::span<const std::uint8_t>)>;

    // Keeps a forgotten test from growing the log without bound; later bytes still count in the stats.
    static constexpr std::size_t kRxLogCap = 1024 * 1024;

    Drawer(TimerQueue& timers, std::chrono::milliseconds default_auto_close, PortWriter writer);
    Drawer(const Drawer&) = delete;
    Drawer& operator=(const Drawer&) = delete;
    ~Drawer();

    void receive(std::span<const std::uint8_t> bytes, Clock::time_point now);

    // Opening (by command or by hand) (re)starts the auto-close countdown; closing cancels it.
    void open(Clock::time_point now);
    void close();
    bool is_open() const { return open_; }
    void set_auto_close(std::chrono::milliseconds after) { auto_close_ = after; }

    ReplyPolicy& replies() { return policy_; }

    std::size_t rx_size() const { return rx_.size(); }
    Bytes take_rx();
    const DrawerStats& stats() const { return stats_; }

    // The line went away: answers still queued for it must not reach a later line.
    void line_dropped();
    // Back to the state at start-up.
    void reset();

private:
    void answer_status_request(Clock::time_point now);
    void cancel_reply_timers();
    void cancel_auto_close();

    TimerQueue& timers_;
    const std::chrono::milliseconds default_auto_close_;
    std::chrono::milliseconds auto_close_;
    PortWriter writer_;

    RequestScanner scanner_;
    ReplyPolicy policy_;
    bool open_ = false;
    Bytes rx_;
    DrawerStats stats_;

    std::optional<TimerQueue::Id> auto_close_timer_;
    std::set<TimerQueue::Id> reply_timers_;
};

} // namespace vdrawer
