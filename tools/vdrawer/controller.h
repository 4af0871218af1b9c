#pragma once
// Carries out control-channel commands against the drawer and its serial line. On the event loop's
// thread; a WAITRX reply comes later, from the receive path or its timer in the same loop.
#include "command.h"
#include "control_server.h"
#include "drawer.h"
#include "serial_line.h"
#include "timer_queue.h"

#include <map>
#include <string>

namespace vdrawer {

class Controller {
public:
    Controller(Drawer& drawer, SerialLine& line, TimerQueue& timers, ControlServer& server);
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;
    ~Controller();

    void on_line(ControlServer::ClientId client, std::string_view line);
    void on_client_gone(ControlServer::ClientId client);
    // Call after bytes were added to the drawer's receive log.
    void on_rx_grew();

    bool quit_requested() const { return quit_; }

private:
    struct RxWait {
        std::size_t count = 0;
        TimerQueue::Id timer = 0;
    };

    // The reply line, or nothing when the reply comes later (WAITRX).
    std::optional<std::string> execute(ControlServer::ClientId client, const Command& command);
    std::optional<std::string> start_rx_wait(ControlServer::ClientId client, const Command& command);
    void finish_rx_wait(ControlServer::ClientId client, std::string reply);
    std::string stats_line() const;
    std::string rx_line();

    Drawer& drawer_;
    SerialLine& line_;
    TimerQueue& timers_;
    ControlServer& server_;
    std::map<ControlServer::ClientId, RxWait> rx_waits_;
    bool quit_ = false;
};

} // namespace vdrawer
