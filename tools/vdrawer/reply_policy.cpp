// The answer to a status request: the script's next item while one is left, else the fault mode's bytes;
// either way shifted by the set delay.
#include "reply_policy.h"

namespace vdrawer {

void ReplyPolicy::set_script(std::vector<ScriptItem> items) {
    script_.assign(std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
}

void ReplyPolicy::reset() {
    mode_ = {};
    delay_ = std::chrono::milliseconds{0};
    script_.clear();
}

std::vector<ReplyChunk> ReplyPolicy::next_reply(bool drawer_open) {
    std::vector<ReplyChunk> chunks;
    if (!script_.empty()) {
        ScriptItem item = std::move(script_.front());
        script_.pop_front();
        if (item) {
            chunks.push_back({std::chrono::milliseconds{0}, std::move(*item)});
        }
    } else {
        chunks = mode_reply(drawer_open);
    }
    for (ReplyChunk& chunk : chunks) {
        chunk.after += delay_;
    }
    return chunks;
}

std::vector<ReplyChunk> ReplyPolicy::mode_reply(bool drawer_open) const {
    const std::uint8_t status = status_byte(drawer_open);
    const std::chrono::milliseconds now{0};
    switch (mode_.mode) {
    case ReplyMode::Normal:
        return {{now, {status}}};
    case ReplyMode::Silent:
        return {};
    case ReplyMode::Garbage:
        return {{now, Bytes(wire::kGarbage.begin(), wire::kGarbage.end())}};
    case ReplyMode::Both:
        // The byte that tells the truth comes last, as a reader keeps the last significant byte.
        return {{now, {status_byte(!drawer_open), status}}};
    case ReplyMode::Split:
        return {{now, {wire::kNoise}}, {mode_.split_gap, {status}}};
    }
    return {};
}

} // namespace vdrawer
