#pragma once
// One parsed command of the virtual drawer's control channel.
#include "reply_policy.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vdrawer {

// One parsed line of the control channel.
struct Command {
    enum class Kind {
        Ping,
        State,
        Open,
        Close,
        AutoClose,
        Mode,
        Delay,
        Script,
        Unplug,
        Plug,
        Unavailable,
        Available,
        Busy,
        Stall,
        Drain,
        Rx,
        WaitRx,
        Stats,
        Line,
        Reset,
        Quit,
    };

    Kind kind = Kind::Ping;
    ModeSetting mode;                // Mode
    std::chrono::milliseconds ms{0}; // AutoClose, Delay, WaitRx time-out
    std::size_t count = 0;           // WaitRx
    std::vector<ScriptItem> script;  // Script
};

struct ParseResult {
    std::optional<Command> command;
    std::string error; // reason after "ERR " when there is no command
};

// Keywords are case-insensitive; a line that is blank must be skipped by the caller.
ParseResult parse_command(std::string_view line);

} // namespace vdrawer
