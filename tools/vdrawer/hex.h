#pragma once
// Bytes as hex text on the control channel: RX replies and SCRIPT arguments.
#include "drawer_protocol.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vdrawer {

// "1D 1B 0F 0C": upper case, one space between bytes, empty for no bytes.
std::string to_hex_pairs(std::span<const std::uint8_t> bytes);

// "1F19" or "1f19" -> {0x1F, 0x19}; nullopt unless it is a non-empty, even run of hex digits.
std::optional<Bytes> parse_hex_run(std::string_view text);

} // namespace vdrawer
