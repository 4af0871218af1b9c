#pragma once
// Decides how the drawer answers a status request: fault mode, delay and a one-shot script.
#include "drawer_protocol.h"

#include <chrono>
#include <deque>
#include <optional>
#include <vector>

namespace vdrawer {

enum class ReplyMode { Normal, Silent, Garbage, Both, Split };

struct ModeSetting {
    ReplyMode mode = ReplyMode::Normal;
    std::chrono::milliseconds split_gap{0}; // only used by Split
};

// One write towards the serial client, `after` counted from the status request.
struct ReplyChunk {
    std::chrono::milliseconds after{0};
    Bytes bytes;
};

// Scripted answer for one status request; nullopt = stay silent.
using ScriptItem = std::optional<Bytes>;

class ReplyPolicy {
public:
    void set_mode(ModeSetting mode) { mode_ = mode; }
    void set_delay(std::chrono::milliseconds delay) { delay_ = delay; }
    void set_script(std::vector<ScriptItem> items);
    void reset();

    // Consumes one script item if any are left. An empty result means no answer at all.
    std::vector<ReplyChunk> next_reply(bool drawer_open);

private:
    std::vector<ReplyChunk> mode_reply(bool drawer_open) const;

    ModeSetting mode_;
    std::chrono::milliseconds delay_{0};
    std::deque<ScriptItem> script_;
};

} // namespace vdrawer
