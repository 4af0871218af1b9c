#pragma once
// The drawer's wire protocol as the virtual drawer speaks it: two 4-byte commands and the status bytes.
#include <array>
#include <cstdint>
#include <vector>

namespace vdrawer {

using Bytes = std::vector<std::uint8_t>;

// What the drawer hardware understands on its serial line.
namespace wire {
inline constexpr std::array<std::uint8_t, 4> kStatusRequest{0x1D, 0x1B, 0x0F, 0x0C};
inline constexpr std::array<std::uint8_t, 4> kOpenCommand{0x1C, 0x1E, 0x11, 0x13};
inline constexpr std::uint8_t kStatusOpen = 0x19;
inline constexpr std::uint8_t kStatusClosed = 0x1F;
// Noise the fault modes put around (or instead of) the status byte; none of it is significant.
inline constexpr std::uint8_t kNoise = 0x00;
inline constexpr std::array<std::uint8_t, 3> kGarbage{0x00, 0x41, 0x42};
} // namespace wire

inline std::uint8_t status_byte(bool drawer_open) {
    return drawer_open ? wire::kStatusOpen : wire::kStatusClosed;
}

} // namespace vdrawer
