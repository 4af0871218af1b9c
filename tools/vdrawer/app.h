#pragma once
// The running virtual drawer: a single-threaded poll loop over the pty, the control clients, the timers
// and SIGTERM/SIGINT. Leaving run() or an exception from the constructor undoes everything set up.
#include "control_server.h"
#include "controller.h"
#include "drawer.h"
#include "options.h"
#include "serial_line.h"
#include "signal_fd.h"
#include "timer_queue.h"

namespace vdrawer {

class App {
public:
    // Throws std::system_error when the pty, the link or the control port cannot be set up.
    explicit App(const Options& options);

    std::uint16_t control_port() const { return server_.port(); }
    // Returns when a signal or QUIT asks for it.
    void run();

private:
    void read_line_bytes();
    int poll_timeout_ms() const;

    // Construction order matters: signals are blocked before anything else exists, and the drawer's
    // timers and writer must outlive nothing that uses them.
    SignalFd signals_;
    TimerQueue timers_;
    SerialLine line_;
    Drawer drawer_;
    ControlServer server_;
    Controller controller_;
    bool stop_ = false;
};

} // namespace vdrawer
