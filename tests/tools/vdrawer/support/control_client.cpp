#include "control_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <system_error>

namespace vdrawer::test {

namespace {
constexpr std::chrono::seconds kReplyGuard{10};
}

ControlClient::ControlClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!fd_ || ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        throw std::system_error(errno, std::generic_category(), "connect to control port");
    }
}

std::string ControlClient::command(std::string_view line) {
    send_raw(std::string(line) + "\n");
    return read_line(kReplyGuard).value_or("<no reply>");
}

void ControlClient::send_raw(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::send(fd_.get(), text.data(), text.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            throw std::system_error(errno, std::generic_category(), "send to control port");
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::optional<std::string> ControlClient::read_line(std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (const auto end = buffered_.find('\n'); end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd_.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
            return std::nullopt;
        }
        std::array<char, 1024> buf{};
        const ssize_t n = ::recv(fd_.get(), buf.data(), buf.size(), 0);
        if (n <= 0) {
            return std::nullopt;
        }
        buffered_.append(buf.data(), static_cast<std::size_t>(n));
    }
}

} // namespace vdrawer::test
