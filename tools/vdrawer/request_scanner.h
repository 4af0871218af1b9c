#pragma once
// Finds the drawer's 4-byte commands in a raw byte stream. The line has no framing, so a command may
// arrive split across reads, after noise, or right behind another one.
#include <array>
#include <cstdint>

namespace vdrawer {

class RequestScanner {
public:
    enum class Event { None, StatusRequest, OpenCommand };

    Event push(std::uint8_t byte);
    void reset();

private:
    std::array<std::uint8_t, 4> window_{};
    std::size_t filled_ = 0;
};

} // namespace vdrawer
