// The virtual drawer's pseudo-terminal: a non-blocking master, a raw slave, and the check whether a
// client holds the slave end.
#include "pty_port.h"

#include "sys_error.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>

#include <array>

namespace vdrawer {

PtyPort::PtyPort(UniqueFd master, UniqueFd slave, std::string slave_path)
    : master_(std::move(master)), slave_(std::move(slave)), slave_path_(std::move(slave_path)) {}

namespace {
UniqueFd open_raw_slave(const std::string& slave_path) {
    UniqueFd slave(::open(slave_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave) {
        throw_errno("open " + slave_path);
    }
    termios tio{};
    if (::tcgetattr(slave.get(), &tio) != 0) {
        throw_errno("tcgetattr " + slave_path);
    }
    // No echo, no line editing, no CR/LF translation: the drawer protocol is binary.
    ::cfmakeraw(&tio);
    if (::tcsetattr(slave.get(), TCSANOW, &tio) != 0) {
        throw_errno("tcsetattr " + slave_path);
    }
    return slave;
}
} // namespace

bool PtyPort::client_holds() {
    slave_.reset();
    pollfd pfd{master_.get(), 0, 0};
    const bool held = ::poll(&pfd, 1, 0) == 0 || (pfd.revents & POLLHUP) == 0;
    // A client's settings stay as they are; a free line is made raw again for the next one.
    slave_ = held ? UniqueFd(::open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
                  : open_raw_slave(slave_path_);
    if (!slave_) {
        throw_errno("open " + slave_path_);
    }
    return held;
}

PtyPort PtyPort::create() {
    // Non-blocking: a client that stops reading must not stall the loop on a reply.
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master) {
        throw_errno("posix_openpt");
    }
    if (::grantpt(master.get()) != 0) {
        throw_errno("grantpt");
    }
    if (::unlockpt(master.get()) != 0) {
        throw_errno("unlockpt");
    }
    std::array<char, 128> name{};
    if (const int rc = ::ptsname_r(master.get(), name.data(), name.size()); rc != 0) {
        errno = rc;
        throw_errno("ptsname_r");
    }
    std::string slave_path(name.data());
    UniqueFd slave = open_raw_slave(slave_path);
    return PtyPort(std::move(master), std::move(slave), std::move(slave_path));
}

} // namespace vdrawer
