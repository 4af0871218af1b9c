// One-shot timers kept in due order, with an index by id for cancelling.
#include "timer_queue.h"

namespace vdrawer {

TimerQueue::Id TimerQueue::add(Clock::time_point due, Callback callback) {
    const Id id = next_id_++;
    timers_.emplace(Key{due, id}, std::move(callback));
    due_by_id_.emplace(id, due);
    return id;
}

void TimerQueue::cancel(Id id) {
    const auto it = due_by_id_.find(id);
    if (it == due_by_id_.end()) {
        return;
    }
    timers_.erase(Key{it->second, id});
    due_by_id_.erase(it);
}

std::optional<Clock::time_point> TimerQueue::next_due() const {
    if (timers_.empty()) {
        return std::nullopt;
    }
    return timers_.begin()->first.first;
}

void TimerQueue::run_due(Clock::time_point now) {
    while (!timers_.empty() && timers_.begin()->first.first <= now) {
        auto node = timers_.extract(timers_.begin());
        const Id id = node.key().second;
        due_by_id_.erase(id);
        node.mapped()(id);
    }
}

} // namespace vdrawer
