#pragma once
// The virtual drawer's end of the serial cable: the pty, its link in the prefix, and whether it is read.
#include "com_link.h"
#include "pty_port.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace vdrawer {

// The drawer's end of the serial cable. "Plugged" means a pty exists; "available" means the Windows
// side can find it. The com link points at the pty exactly when both hold.
class SerialLine {
public:
    // What a new open of the port meets (whoever holds it keeps it): the drawer's pty; no link
    // (ENOENT: Windows error 2, as for an unplugged adapter); or, for a port another program
    // holds, a link to a directory, which Wine refuses to open as a device with error 5, the
    // error Windows gives (Wine itself never refuses a second open of a serial port).
    enum class Availability { Available, Missing, Busy };

    // Plugged and available at once. Throws std::system_error.
    SerialLine(const std::filesystem::path& prefix, int com);

    void plug();
    void unplug();
    void set_availability(Availability availability);

    bool plugged() const { return pty_.has_value(); }
    // A stalled line is not read, so the kernel's buffer fills and the client's
    // writes block, as behind a drawer that holds CTS low.
    void set_draining(bool draining) { draining_ = draining; }
    bool draining() const { return draining_; }
    // Whether the serial client has the port open; never while unplugged.
    bool client_holds() { return pty_ && pty_->client_holds(); }
    // -1 while unplugged.
    int master_fd() const { return pty_ ? pty_->master() : -1; }

    // Best effort: a reply nobody can take is simply lost, like on a real cable.
    void write(std::span<const std::uint8_t> bytes);

private:
    void update_link();

    // Declared first so the link goes before the pty it points at.
    std::optional<PtyPort> pty_;
    ComLink link_;
    Availability availability_ = Availability::Available;
    bool draining_ = true;
};

} // namespace vdrawer
