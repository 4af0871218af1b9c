// The "vdrawer ctl" client: one blocking connection to 127.0.0.1, one command line out, one reply line back.
#include "ctl_client.h"

#include "unique_fd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

namespace vdrawer {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitErr = 1;
constexpr int kExitNoContact = 2;

bool send_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Everything up to the first newline, or nothing if the connection ends first.
std::optional<std::string> read_line(int fd) {
    std::string line;
    std::array<char, 512> buf{};
    for (;;) {
        const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        line.append(buf.data(), static_cast<std::size_t>(n));
        if (const auto end = line.find('\n'); end != std::string::npos) {
            line.erase(end);
            return line;
        }
    }
}

} // namespace

int run_ctl(std::span<const std::string> args) {
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: vdrawer ctl <port> <command words...>\n");
        return kExitNoContact;
    }
    std::uint16_t port = 0;
    const std::string& port_text = args[0];
    const auto [end, ec] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (ec != std::errc{} || end != port_text.data() + port_text.size() || port == 0) {
        std::fprintf(stderr, "vdrawer ctl: bad port '%s'\n", port_text.c_str());
        return kExitNoContact;
    }
    std::string command;
    for (std::size_t i = 1; i < args.size(); ++i) {
        command += (i > 1 ? " " : "") + args[i];
    }
    command += '\n';

    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!fd || ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "vdrawer ctl: cannot connect to 127.0.0.1:%u: %s\n", port, std::strerror(errno));
        return kExitNoContact;
    }
    if (!send_all(fd.get(), command)) {
        std::fprintf(stderr, "vdrawer ctl: send failed: %s\n", std::strerror(errno));
        return kExitNoContact;
    }
    const auto reply = read_line(fd.get());
    if (!reply) {
        std::fprintf(stderr, "vdrawer ctl: connection closed without a reply\n");
        return kExitNoContact;
    }
    std::printf("%s\n", reply->c_str());
    if (reply->starts_with("OK")) {
        return kExitOk;
    }
    if (reply->starts_with("ERR")) {
        return kExitErr;
    }
    return kExitNoContact;
}

} // namespace vdrawer
