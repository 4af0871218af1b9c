#pragma once
// Failed system calls as std::system_error.
#include <cerrno>
#include <string>
#include <system_error>

namespace vdrawer {

// For a failed system call: keeps errno and says what was being done.
[[noreturn]] inline void throw_errno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace vdrawer
