#pragma once
// Line-based TCP control channel on 127.0.0.1. Non-blocking throughout; replies go out in order per client.
// A paused client's further lines wait in its buffer, so a reply given later still arrives before the
// replies to the lines sent after it. Runs on the event loop's thread only, as do its handlers.
#include "unique_fd.h"
#include "watch.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vdrawer {

class ControlServer {
public:
    using ClientId = std::uint64_t;
    struct Handlers {
        std::function<void(ClientId, std::string_view line)> on_line;
        std::function<void(ClientId)> on_disconnect;
    };

    // Port 0 picks a free one. Throws std::system_error.
    ControlServer(std::uint16_t port, Handlers handlers);

    std::uint16_t port() const { return port_; }
    void add_watches(WatchList& watches);

    void send(ClientId client, std::string_view line);
    void pause(ClientId client);
    void resume(ClientId client);

    // Runs after each round of events: lines held back by a pause, and clients that are gone.
    void housekeeping();
    // Last chance for queued replies before the process exits.
    void flush_all();

private:
    struct Client {
        UniqueFd fd;
        std::string in;
        std::string out;
        bool paused = false;
        bool eof = false;
        bool dead = false;
    };

    // A command line longer than this is not a command; the client is dropped.
    static constexpr std::size_t kMaxLine = 64 * 1024;

    void accept_clients();
    void on_client_ready(ClientId id, short revents);
    void read_from(ClientId id, Client& client);
    void process_lines(ClientId id, Client& client);
    void flush(Client& client);

    UniqueFd listener_;
    std::uint16_t port_ = 0;
    Handlers handlers_;
    std::map<ClientId, Client> clients_;
    ClientId next_id_ = 1;
};

} // namespace vdrawer
