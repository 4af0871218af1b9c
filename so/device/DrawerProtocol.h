#pragma once
// The drawer's wire protocol: bare 4-byte commands, no framing or checksum;
// the answer to a status request is one significant byte among those read.
#include <cstddef>
#include <cstdint>

namespace vtx::drawer {

inline constexpr uint8_t kStatusRequest[4] = {0x1D, 0x1B, 0x0F, 0x0C};
inline constexpr uint8_t kOpenCommand[4] = {0x1C, 0x1E, 0x11, 0x13};
inline constexpr uint8_t kReplyOpen = 0x19;
inline constexpr uint8_t kReplyClosed = 0x1F;
// A status reply is read in one go of at most this many bytes.
inline constexpr size_t kReplyReadSize = 3;

// 1 = open, 0 = closed, -1 = no significant byte. The byte received last
// decides when both are present.
inline int ClassifyStatusReply(const uint8_t* bytes, size_t count) {
    for (size_t i = count; i > 0; --i) {
        if (bytes[i - 1] == kReplyOpen) {
            return 1;
        }
        if (bytes[i - 1] == kReplyClosed) {
            return 0;
        }
    }
    return -1;
}

} // namespace vtx::drawer
