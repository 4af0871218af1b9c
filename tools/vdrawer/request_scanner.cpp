// Matches the line's last four bytes against the drawer's two commands.
#include "request_scanner.h"

#include "drawer_protocol.h"

#include <algorithm>

namespace vdrawer {

RequestScanner::Event RequestScanner::push(std::uint8_t byte) {
    std::shift_left(window_.begin(), window_.end(), 1);
    window_.back() = byte;
    if (filled_ < window_.size()) {
        ++filled_;
    }
    // A zero-filled window must not match before four real bytes were seen.
    if (filled_ < window_.size()) {
        return Event::None;
    }
    if (window_ == wire::kStatusRequest) {
        return Event::StatusRequest;
    }
    if (window_ == wire::kOpenCommand) {
        return Event::OpenCommand;
    }
    return Event::None;
}

void RequestScanner::reset() {
    window_ = {};
    filled_ = 0;
}

} // namespace vdrawer
