#include "serial_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <system_error>

namespace vdrawer::test {

SerialClient::SerialClient(const std::filesystem::path& device)
    : fd_(::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (!fd_) {
        throw std::system_error(errno, std::generic_category(), "open " + device.string());
    }
    termios tio{};
    if (::tcgetattr(fd_.get(), &tio) != 0) {
        throw std::system_error(errno, std::generic_category(), "tcgetattr");
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(fd_.get(), TCSANOW, &tio) != 0) {
        throw std::system_error(errno, std::generic_category(), "tcsetattr");
    }
}

bool SerialClient::write(const Bytes& bytes) {
    return ::write(fd_.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

void SerialClient::send_status_request() {
    if (!write(Bytes(wire::kStatusRequest.begin(), wire::kStatusRequest.end()))) {
        throw std::system_error(errno, std::generic_category(), "write status request");
    }
}

Bytes SerialClient::read_exactly(std::size_t count, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    Bytes got;
    while (got.size() < count) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd_.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        std::array<std::uint8_t, 256> buf{};
        const ssize_t n = ::read(fd_.get(), buf.data(), std::min(buf.size(), count - got.size()));
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), buf.begin(), buf.begin() + n);
    }
    return got;
}

} // namespace vdrawer::test
