#pragma once
// "vdrawer ctl <port> <words...>": one command for shell scripts. Prints the reply line; exits 0 on OK,
// 1 on ERR, 2 when the drawer cannot be reached or gives no proper reply.
#include <span>
#include <string>

namespace vdrawer {

int run_ctl(std::span<const std::string> args);

} // namespace vdrawer
