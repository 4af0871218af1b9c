// The virtual drawer's entry point: "vdrawer ctl" sends one control command; otherwise the drawer
// starts (in the background with --daemon), writes its pid and port files, and runs until told to stop.
#include "app.h"
#include "atomic_file.h"
#include "ctl_client.h"
#include "options.h"
#include "readiness.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl") {
        return vdrawer::run_ctl(std::span(args).subspan(1));
    }
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(vdrawer::kUsage, stdout);
        return 0;
    }
    const vdrawer::OptionsResult parsed = vdrawer::parse_options(args);
    if (!parsed.options) {
        std::fprintf(stderr, "vdrawer: %s\n%s", parsed.error.c_str(), vdrawer::kUsage);
        return 2;
    }
    const vdrawer::Options& options = *parsed.options;

    vdrawer::Readiness readiness;
    try {
        if (options.daemon) {
            readiness = vdrawer::daemonize();
        }
        vdrawer::App app(options);
        // Both files appear only once the link exists and the control port listens; the port file last,
        // as that is the one scripts wait for.
        if (options.pid_file) {
            vdrawer::write_file_atomically(*options.pid_file, std::to_string(::getpid()) + "\n");
        }
        if (options.port_file) {
            vdrawer::write_file_atomically(*options.port_file, std::to_string(app.control_port()) + "\n");
        }
        readiness.ready();
        app.run();
    } catch (const std::exception& e) {
        readiness.failed(e.what());
        return 1;
    }
    return 0;
}
