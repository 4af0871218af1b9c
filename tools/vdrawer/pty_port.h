#pragma once
// A pseudo-terminal pair in raw mode. The slave end stays open here too: without it the master sees a
// hang-up (EIO, POLLHUP forever) whenever the serial client closes its end.
#include "unique_fd.h"

#include <string>

namespace vdrawer {

class PtyPort {
public:
    // Throws std::system_error.
    static PtyPort create();

    // Whether anyone but us has the slave end open. Our own slave is let go for a moment: the master
    // then sees a hang-up exactly when nobody else holds it.
    bool client_holds();

    int master() const { return master_.get(); }
    const std::string& slave_path() const { return slave_path_; }

private:
    PtyPort(UniqueFd master, UniqueFd slave, std::string slave_path);

    UniqueFd master_;
    UniqueFd slave_;
    std::string slave_path_;
};

} // namespace vdrawer
