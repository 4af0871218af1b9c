#pragma once
// One-shot timers for a single-threaded loop. Time is passed in, so callers (and tests) decide what "now" is.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

namespace vdrawer {

using Clock = std::chrono::steady_clock;

class TimerQueue {
public:
    using Id = std::uint64_t;
    // Gets its own id, so a callback can drop its entry from a caller's bookkeeping.
    using Callback = std::function<void(Id)>;

    Id add(Clock::time_point due, Callback callback);
    // Unknown or already fired ids are ignored.
    void cancel(Id id);
    std::optional<Clock::time_point> next_due() const;
    // Runs everything due at `now`, earliest first, timers added at the same time in the order added.
    // Callbacks may add or cancel timers; a timer added already due runs in the same call.
    void run_due(Clock::time_point now);
    bool empty() const { return timers_.empty(); }

private:
    using Key = std::pair<Clock::time_point, Id>;

    std::map<Key, Callback> timers_;
    std::unordered_map<Id, Clock::time_point> due_by_id_;
    Id next_id_ = 1;
};

} // namespace vdrawer
