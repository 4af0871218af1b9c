#pragma once
// The virtual drawer's command-line options, their parser and the usage text.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace vdrawer {

struct Options {
    std::filesystem::path prefix;
    int com = 0;
    std::uint16_t control_port = 0;
    std::optional<std::filesystem::path> port_file;
    std::optional<std::filesystem::path> pid_file;
    std::chrono::milliseconds auto_close{0};
    bool daemon = false;
};

struct OptionsResult {
    std::optional<Options> options;
    std::string error; // set when options is empty
};

// Arguments after the program name. Accepts "--name value" and "--name=value".
OptionsResult parse_options(std::span<const std::string> args);

extern const char* const kUsage;

} // namespace vdrawer
