// Parses the virtual drawer's control-channel lines into commands.
#include "command.h"

#include "hex.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <span>
#include <utility>

namespace vdrawer {

namespace {

// Longer waits are surely a typo; they would also overflow time arithmetic sooner or later.
constexpr std::uint64_t kMaxMs = 24ULL * 60 * 60 * 1000;

std::vector<std::string_view> split_words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos]))) {
            ++pos;
        }
        const std::size_t start = pos;
        while (pos < line.size() && !std::isspace(static_cast<unsigned char>(line[pos]))) {
            ++pos;
        }
        if (pos > start) {
            words.push_back(line.substr(start, pos - start));
        }
    }
    return words;
}

std::string upper(std::string_view word) {
    std::string out(word);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

std::optional<std::uint64_t> parse_number(std::string_view word, std::uint64_t max) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc{} || end != word.data() + word.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::chrono::milliseconds> parse_ms(std::string_view word) {
    const auto value = parse_number(word, kMaxMs);
    if (!value) {
        return std::nullopt;
    }
    return std::chrono::milliseconds{static_cast<std::chrono::milliseconds::rep>(*value)};
}

Command of_kind(Command::Kind kind) {
    Command command;
    command.kind = kind;
    return command;
}

ParseResult fail(std::string reason) {
    return {std::nullopt, std::move(reason)};
}

ParseResult ok(Command command) {
    return {std::move(command), {}};
}

ParseResult parse_mode(std::span<const std::string_view> args) {
    static constexpr std::string_view kUsage = "USAGE MODE NORMAL|SILENT|GARBAGE|BOTH|SPLIT <gap_ms>";
    if (args.empty()) {
        return fail(std::string(kUsage));
    }
    Command command = of_kind(Command::Kind::Mode);
    const std::string name = upper(args[0]);
    if (name == "SPLIT") {
        if (args.size() != 2) {
            return fail(std::string(kUsage));
        }
        const auto gap = parse_ms(args[1]);
        if (!gap) {
            return fail("BAD NUMBER " + std::string(args[1]));
        }
        command.mode = {ReplyMode::Split, *gap};
        return ok(std::move(command));
    }
    if (args.size() != 1) {
        return fail(std::string(kUsage));
    }
    if (name == "NORMAL") {
        command.mode.mode = ReplyMode::Normal;
    } else if (name == "SILENT") {
        command.mode.mode = ReplyMode::Silent;
    } else if (name == "GARBAGE") {
        command.mode.mode = ReplyMode::Garbage;
    } else if (name == "BOTH") {
        command.mode.mode = ReplyMode::Both;
    } else {
        return fail("BAD MODE " + std::string(args[0]));
    }
    return ok(std::move(command));
}

ParseResult parse_script(std::span<const std::string_view> args) {
    Command command = of_kind(Command::Kind::Script);
    for (std::string_view arg : args) {
        if (arg == "-") {
            command.script.emplace_back(std::nullopt);
            continue;
        }
        auto bytes = parse_hex_run(arg);
        if (!bytes) {
            return fail("BAD HEX " + std::string(arg));
        }
        command.script.emplace_back(std::move(*bytes));
    }
    return ok(std::move(command));
}

ParseResult parse_one_ms(Command::Kind kind, std::string_view usage, std::span<const std::string_view> args) {
    if (args.size() != 1) {
        return fail("USAGE " + std::string(usage));
    }
    const auto ms = parse_ms(args[0]);
    if (!ms) {
        return fail("BAD NUMBER " + std::string(args[0]));
    }
    Command command = of_kind(kind);
    command.ms = *ms;
    return ok(std::move(command));
}

ParseResult parse_wait_rx(std::span<const std::string_view> args) {
    if (args.size() != 2) {
        return fail("USAGE WAITRX <n> <timeout_ms>");
    }
    const auto count = parse_number(args[0], std::numeric_limits<std::size_t>::max());
    if (!count) {
        return fail("BAD NUMBER " + std::string(args[0]));
    }
    const auto ms = parse_ms(args[1]);
    if (!ms) {
        return fail("BAD NUMBER " + std::string(args[1]));
    }
    Command command = of_kind(Command::Kind::WaitRx);
    command.ms = *ms;
    command.count = static_cast<std::size_t>(*count);
    return ok(std::move(command));
}

struct Plain {
    std::string_view word;
    Command::Kind kind;
};

constexpr Plain kPlainCommands[] = {
    {"PING", Command::Kind::Ping},
    {"STATE", Command::Kind::State},
    {"OPEN", Command::Kind::Open},
    {"CLOSE", Command::Kind::Close},
    {"UNPLUG", Command::Kind::Unplug},
    {"PLUG", Command::Kind::Plug},
    {"UNAVAILABLE", Command::Kind::Unavailable},
    {"AVAILABLE", Command::Kind::Available},
    {"BUSY", Command::Kind::Busy},
    {"STALL", Command::Kind::Stall},
    {"DRAIN", Command::Kind::Drain},
    {"RX", Command::Kind::Rx},
    {"STATS", Command::Kind::Stats},
    {"LINE", Command::Kind::Line},
    {"RESET", Command::Kind::Reset},
    {"QUIT", Command::Kind::Quit},
};

} // namespace

ParseResult parse_command(std::string_view line) {
    const std::vector<std::string_view> words = split_words(line);
    if (words.empty()) {
        return fail("EMPTY");
    }
    const std::string keyword = upper(words[0]);
    const std::span<const std::string_view> args(words.begin() + 1, words.end());

    for (const Plain& plain : kPlainCommands) {
        if (keyword == plain.word) {
            if (!args.empty()) {
                return fail("USAGE " + keyword);
            }
            return ok(of_kind(plain.kind));
        }
    }
    if (keyword == "MODE") {
        return parse_mode(args);
    }
    if (keyword == "SCRIPT") {
        return parse_script(args);
    }
    if (keyword == "AUTOCLOSE") {
        return parse_one_ms(Command::Kind::AutoClose, "AUTOCLOSE <ms>", args);
    }
    if (keyword == "DELAY") {
        return parse_one_ms(Command::Kind::Delay, "DELAY <ms>", args);
    }
    if (keyword == "WAITRX") {
        return parse_wait_rx(args);
    }
    return fail("UNKNOWN " + std::string(words[0]));
}

} // namespace vdrawer
