// The COM link: a temporary symlink renamed into place, removed only while it still points where we made it.
#include "com_link.h"

#include "sys_error.h"

#include <unistd.h>

#include <array>

namespace vdrawer {

namespace {

std::optional<std::string> read_link(const std::filesystem::path& path) {
    std::array<char, 4096> buf{};
    const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) {
        return std::nullopt;
    }
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

} // namespace

ComLink::ComLink(const std::filesystem::path& prefix, int com)
    : path_(prefix / "dosdevices" / ("com" + std::to_string(com))) {}

ComLink::~ComLink() {
    remove();
}

void ComLink::point_to(const std::string& target) {
    std::error_code ec;
    std::filesystem::create_directories(path_.parent_path(), ec);
    if (ec) {
        throw std::system_error(ec, "create " + path_.parent_path().string());
    }
    // symlink() will not replace an existing entry, rename() does so atomically.
    const std::filesystem::path temp = path_.string() + ".vdrawer-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
        throw_errno("symlink " + temp.string());
    }
    if (::rename(temp.c_str(), path_.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        throw_errno("rename to " + path_.string());
    }
    target_ = target;
}

void ComLink::remove() {
    if (!target_) {
        return;
    }
    if (read_link(path_) == target_) {
        ::unlink(path_.c_str());
    }
    target_.reset();
}

} // namespace vdrawer
