// The virtual drawer's end of the serial cable: plugging and unplugging the pty, writing to it, and
// keeping the COM link in step with whether the line is there and available.
#include "serial_line.h"

#include <unistd.h>

namespace vdrawer {

SerialLine::SerialLine(const std::filesystem::path& prefix, int com) : link_(prefix, com) {
    plug();
}

void SerialLine::plug() {
    if (!pty_) {
        pty_.emplace(PtyPort::create());
    }
    update_link();
}

void SerialLine::unplug() {
    link_.remove();
    pty_.reset();
}

void SerialLine::set_availability(Availability availability) {
    availability_ = availability;
    update_link();
}

void SerialLine::write(std::span<const std::uint8_t> bytes) {
    if (!pty_) {
        return;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(pty_->master(), bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

void SerialLine::update_link() {
    if (availability_ == Availability::Busy) {
        link_.point_to("/");
    } else if (pty_ && availability_ == Availability::Available) {
        // Re-pointed even when we think it is there: someone may have deleted it behind our back.
        link_.point_to(pty_->slave_path());
    } else {
        link_.remove();
    }
}

} // namespace vdrawer
