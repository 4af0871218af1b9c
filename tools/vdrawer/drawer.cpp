// The simulated drawer's reactions: commands found in the line's bytes, answers written at once or from
// timers, and the auto-close countdown. On the event loop's thread; its timers fire in the same loop.
#include "drawer.h"

#include <algorithm>
#include <utility>

namespace vdrawer {

Drawer::Drawer(TimerQueue& timers, std::chrono::milliseconds default_auto_close, PortWriter writer)
    : timers_(timers), default_auto_close_(default_auto_close), auto_close_(default_auto_close),
      writer_(std::move(writer)) {}

Drawer::~Drawer() {
    // The queued callbacks point at this object.
    cancel_reply_timers();
    cancel_auto_close();
}

void Drawer::receive(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    stats_.bytes += bytes.size();
    const std::size_t room = kRxLogCap - std::min(kRxLogCap, rx_.size());
    const std::size_t logged = std::min(room, bytes.size());
    rx_.insert(rx_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(logged));

    for (std::uint8_t byte : bytes) {
        switch (scanner_.push(byte)) {
        case RequestScanner::Event::StatusRequest:
            ++stats_.requests;
            answer_status_request(now);
            break;
        case RequestScanner::Event::OpenCommand:
            ++stats_.opens;
            open(now);
            break;
        case RequestScanner::Event::None:
            break;
        }
    }
}

void Drawer::open(Clock::time_point now) {
    open_ = true;
    cancel_auto_close();
    if (auto_close_.count() > 0) {
        auto_close_timer_ = timers_.add(now + auto_close_, [this](TimerQueue::Id) {
            auto_close_timer_.reset();
            open_ = false;
        });
    }
}

void Drawer::close() {
    open_ = false;
    cancel_auto_close();
}

Bytes Drawer::take_rx() {
    return std::exchange(rx_, {});
}

void Drawer::line_dropped() {
    cancel_reply_timers();
    scanner_.reset();
}

void Drawer::reset() {
    line_dropped();
    close();
    policy_.reset();
    auto_close_ = default_auto_close_;
    rx_.clear();
    stats_ = {};
}

void Drawer::answer_status_request(Clock::time_point now) {
    // The state is sampled when the request arrives, also for answers sent later.
    for (ReplyChunk& chunk : policy_.next_reply(open_)) {
        if (chunk.after.count() == 0) {
            writer_(chunk.bytes);
            continue;
        }
        reply_timers_.insert(
            timers_.add(now + chunk.after, [this, bytes = std::move(chunk.bytes)](TimerQueue::Id id) {
                reply_timers_.erase(id);
                writer_(bytes);
            }));
    }
}

void Drawer::cancel_reply_timers() {
    for (TimerQueue::Id id : reply_timers_) {
        timers_.cancel(id);
    }
    reply_timers_.clear();
}

void Drawer::cancel_auto_close() {
    if (auto_close_timer_) {
        timers_.cancel(*auto_close_timer_);
        auto_close_timer_.reset();
    }
}

} // namespace vdrawer
