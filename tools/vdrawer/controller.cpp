// Carries out control-channel commands against the virtual drawer and its line.
#include "controller.h"

#include "hex.h"

#include <exception>

namespace vdrawer {

Controller::Controller(Drawer& drawer, SerialLine& line, TimerQueue& timers, ControlServer& server)
    : drawer_(drawer), line_(line), timers_(timers), server_(server) {}

Controller::~Controller() {
    for (const auto& [client, wait] : rx_waits_) {
        timers_.cancel(wait.timer);
    }
}

void Controller::on_line(ControlServer::ClientId client, std::string_view line) {
    const ParseResult parsed = parse_command(line);
    if (!parsed.command) {
        server_.send(client, "ERR " + parsed.error);
        return;
    }
    std::optional<std::string> reply;
    try {
        reply = execute(client, *parsed.command);
    } catch (const std::exception& e) {
        // A failed PLUG or re-link; the drawer itself stays usable.
        reply = std::string("ERR ") + e.what();
    }
    if (reply) {
        server_.send(client, *reply);
    }
}

void Controller::on_client_gone(ControlServer::ClientId client) {
    if (const auto it = rx_waits_.find(client); it != rx_waits_.end()) {
        timers_.cancel(it->second.timer);
        rx_waits_.erase(it);
    }
}

void Controller::on_rx_grew() {
    for (auto it = rx_waits_.begin(); it != rx_waits_.end();) {
        const ControlServer::ClientId client = it->first;
        ++it; // finish_rx_wait erases the entry
        if (drawer_.rx_size() >= rx_waits_.at(client).count) {
            finish_rx_wait(client, "OK " + std::to_string(drawer_.rx_size()));
        }
    }
}

std::optional<std::string> Controller::execute(ControlServer::ClientId client, const Command& command) {
    using Kind = Command::Kind;
    switch (command.kind) {
    case Kind::Ping:
        return "OK PONG";
    case Kind::State:
        return drawer_.is_open() ? "OK OPEN" : "OK CLOSED";
    case Kind::Open:
        drawer_.open(Clock::now());
        return "OK";
    case Kind::Close:
        drawer_.close();
        return "OK";
    case Kind::AutoClose:
        drawer_.set_auto_close(command.ms);
        return "OK";
    case Kind::Mode:
        drawer_.replies().set_mode(command.mode);
        return "OK";
    case Kind::Delay:
        drawer_.replies().set_delay(command.ms);
        return "OK";
    case Kind::Script:
        drawer_.replies().set_script(command.script);
        return "OK";
    case Kind::Unplug:
        drawer_.line_dropped();
        line_.unplug();
        return "OK";
    case Kind::Plug:
        line_.plug();
        return "OK";
    case Kind::Unavailable:
        line_.set_availability(SerialLine::Availability::Missing);
        return "OK";
    case Kind::Available:
        line_.set_availability(SerialLine::Availability::Available);
        return "OK";
    case Kind::Busy:
        line_.set_availability(SerialLine::Availability::Busy);
        return "OK";
    case Kind::Stall:
        line_.set_draining(false);
        return "OK";
    case Kind::Drain:
        line_.set_draining(true);
        return "OK";
    case Kind::Rx:
        return rx_line();
    case Kind::WaitRx:
        return start_rx_wait(client, command);
    case Kind::Stats:
        return stats_line();
    case Kind::Line:
        return line_.client_holds() ? "OK HELD" : "OK FREE";
    case Kind::Reset:
        drawer_.reset();
        line_.set_availability(SerialLine::Availability::Available);
        line_.set_draining(true);
        line_.plug();
        return "OK";
    case Kind::Quit:
        quit_ = true;
        // Whatever else this client sent is not carried out.
        server_.pause(client);
        return "OK";
    }
    return "ERR INTERNAL";
}

std::optional<std::string> Controller::start_rx_wait(ControlServer::ClientId client, const Command& command) {
    if (drawer_.rx_size() >= command.count) {
        return "OK " + std::to_string(drawer_.rx_size());
    }
    const TimerQueue::Id timer = timers_.add(Clock::now() + command.ms, [this, client](TimerQueue::Id) {
        finish_rx_wait(client, "ERR TIMEOUT " + std::to_string(drawer_.rx_size()));
    });
    rx_waits_[client] = RxWait{command.count, timer};
    server_.pause(client);
    return std::nullopt;
}

void Controller::finish_rx_wait(ControlServer::ClientId client, std::string reply) {
    const auto it = rx_waits_.find(client);
    if (it == rx_waits_.end()) {
        return;
    }
    timers_.cancel(it->second.timer);
    rx_waits_.erase(it);
    server_.send(client, reply);
    server_.resume(client);
}

std::string Controller::stats_line() const {
    const DrawerStats& stats = drawer_.stats();
    return "OK requests=" + std::to_string(stats.requests) + " opens=" + std::to_string(stats.opens) +
           " bytes=" + std::to_string(stats.bytes);
}

std::string Controller::rx_line() {
    const Bytes rx = drawer_.take_rx();
    return rx.empty() ? "OK" : "OK " + to_hex_pairs(rx);
}

} // namespace vdrawer
