// Parsing the virtual drawer's command line, with the range each number may take.
#include "options.h"

#include <charconv>
#include <limits>

namespace vdrawer {

const char* const kUsage =
    "usage: vdrawer --prefix <WINEPREFIX> --com <N> [--control-port <P>] [--port-file <file>]\n"
    "               [--pid-file <file>] [--auto-close-ms <MS>] [--daemon]\n"
    "       vdrawer ctl <port> <command words...>\n";

namespace {

template <typename T> std::optional<T> parse_int(const std::string& text, T min, T max) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < static_cast<long long>(min) ||
        value > static_cast<long long>(max)) {
        return std::nullopt;
    }
    return static_cast<T>(value);
}

OptionsResult fail(std::string error) {
    return {std::nullopt, std::move(error)};
}

} // namespace

OptionsResult parse_options(std::span<const std::string> args) {
    Options options;
    bool have_prefix = false;
    bool have_com = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inline_value;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            inline_value = name.substr(eq + 1);
            name.erase(eq);
        }
        if (name == "--daemon" && !inline_value) {
            options.daemon = true;
            continue;
        }
        std::string value;
        if (inline_value) {
            value = *inline_value;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return fail("missing value for " + name);
        }

        if (name == "--prefix") {
            options.prefix = value;
            have_prefix = !value.empty();
        } else if (name == "--com") {
            const auto com = parse_int<int>(value, 1, 255);
            if (!com) {
                return fail("--com wants a number from 1 to 255, not '" + value + "'");
            }
            options.com = *com;
            have_com = true;
        } else if (name == "--control-port") {
            const auto port = parse_int<std::uint16_t>(value, 0, std::numeric_limits<std::uint16_t>::max());
            if (!port) {
                return fail("--control-port wants a TCP port number, not '" + value + "'");
            }
            options.control_port = *port;
        } else if (name == "--port-file") {
            options.port_file = value;
        } else if (name == "--pid-file") {
            options.pid_file = value;
        } else if (name == "--auto-close-ms") {
            const auto ms = parse_int<long long>(value, 0, 24LL * 60 * 60 * 1000);
            if (!ms) {
                return fail("--auto-close-ms wants milliseconds, not '" + value + "'");
            }
            options.auto_close = std::chrono::milliseconds{*ms};
        } else {
            return fail("unknown option " + name);
        }
    }
    if (!have_prefix) {
        return fail("--prefix is required");
    }
    if (!have_com) {
        return fail("--com is required");
    }
    return {options, {}};
}

} // namespace vdrawer
