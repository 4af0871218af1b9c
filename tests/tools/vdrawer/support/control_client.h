#pragma once

#include "unique_fd.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vdrawer::test {

// A test's connection to the control port.
class ControlClient {
public:
    explicit ControlClient(std::uint16_t port);

    // Sends one line and returns the reply line (without the newline); "<no reply>" at the guard time.
    std::string command(std::string_view line);
    void send_raw(std::string_view text);
    // The next reply line, or nullopt if none came within the time.
    std::optional<std::string> read_line(std::chrono::milliseconds within);

private:
    UniqueFd fd_;
    std::string buffered_;
};

} // namespace vdrawer::test
