// The control channel's sockets: accepting clients, splitting their input into lines for the handler,
// queued non-blocking replies, and dropping clients that are gone. On the event loop's thread only.
#include "control_server.h"

#include "sys_error.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>

namespace vdrawer {

ControlServer::ControlServer(std::uint16_t port, Handlers handlers) : handlers_(std::move(handlers)) {
    listener_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener_) {
        throw_errno("socket");
    }
    const int one = 1;
    ::setsockopt(listener_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        throw_errno("bind 127.0.0.1:" + std::to_string(port));
    }
    if (::listen(listener_.get(), 16) != 0) {
        throw_errno("listen");
    }
    socklen_t len = sizeof addr;
    if (::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw_errno("getsockname");
    }
    port_ = ntohs(addr.sin_port);
}

void ControlServer::add_watches(WatchList& watches) {
    watches.push_back({listener_.get(), POLLIN, [this](short) { accept_clients(); }});
    for (auto& [id, client] : clients_) {
        if (client.dead) {
            continue;
        }
        short events = 0;
        if (!client.eof) {
            events |= POLLIN;
        }
        if (!client.out.empty()) {
            events |= POLLOUT;
        }
        watches.push_back(
            {client.fd.get(), events, [this, id = id](short revents) { on_client_ready(id, revents); }});
    }
}

void ControlServer::send(ClientId id, std::string_view line) {
    const auto it = clients_.find(id);
    if (it == clients_.end() || it->second.dead) {
        return;
    }
    it->second.out.append(line);
    it->second.out.push_back('\n');
    flush(it->second);
}

void ControlServer::pause(ClientId id) {
    if (const auto it = clients_.find(id); it != clients_.end()) {
        it->second.paused = true;
    }
}

void ControlServer::resume(ClientId id) {
    if (const auto it = clients_.find(id); it != clients_.end()) {
        it->second.paused = false;
    }
}

void ControlServer::housekeeping() {
    for (auto& [id, client] : clients_) {
        if (!client.dead && !client.paused) {
            process_lines(id, client);
        }
        // A client that stopped sending still gets its outstanding replies.
        if (client.eof && !client.paused && client.out.empty()) {
            client.dead = true;
        }
    }
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (it->second.dead) {
            const ClientId id = it->first;
            it = clients_.erase(it);
            handlers_.on_disconnect(id);
        } else {
            ++it;
        }
    }
}

void ControlServer::flush_all() {
    for (auto& [id, client] : clients_) {
        flush(client);
    }
}

void ControlServer::accept_clients() {
    for (;;) {
        UniqueFd fd(::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!fd) {
            return; // EAGAIN, or a connection that died before we got to it
        }
        Client client;
        client.fd = std::move(fd);
        clients_.emplace(next_id_++, std::move(client));
    }
}

void ControlServer::on_client_ready(ClientId id, short revents) {
    const auto it = clients_.find(id);
    if (it == clients_.end() || it->second.dead) {
        return;
    }
    Client& client = it->second;
    if (revents & POLLOUT) {
        flush(client);
    }
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        read_from(id, client);
    }
    // Nothing can reach the peer any more; without this a paused client would keep poll() spinning.
    if (revents & (POLLHUP | POLLERR)) {
        client.dead = true;
    }
}

void ControlServer::read_from(ClientId id, Client& client) {
    std::array<char, 4096> buf{};
    const ssize_t n = ::recv(client.fd.get(), buf.data(), buf.size(), 0);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            client.dead = true;
        }
        return;
    }
    if (n == 0) {
        client.eof = true;
        return;
    }
    client.in.append(buf.data(), static_cast<std::size_t>(n));
    if (!client.paused) {
        process_lines(id, client);
    }
}

void ControlServer::process_lines(ClientId id, Client& client) {
    while (!client.paused && !client.dead) {
        const std::size_t end = client.in.find('\n');
        if (end == std::string::npos) {
            if (client.in.size() > kMaxLine) {
                send(id, "ERR LINE TOO LONG");
                client.in.clear();
                client.eof = true;
            }
            return;
        }
        std::string line = client.in.substr(0, end);
        client.in.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find_first_not_of(" \t") == std::string::npos) {
            continue;
        }
        handlers_.on_line(id, line);
    }
}

void ControlServer::flush(Client& client) {
    while (!client.out.empty()) {
        const ssize_t n =
            ::send(client.fd.get(), client.out.data(), client.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                client.dead = true;
                client.out.clear();
            }
            return;
        }
        client.out.erase(0, static_cast<std::size_t>(n));
    }
}

} // namespace vdrawer
