// Writes a temporary file beside the target, then renames it over the target.
#include "atomic_file.h"

#include "sys_error.h"
#include "unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

namespace vdrawer {

void write_file_atomically(const std::filesystem::path& path, std::string_view content) {
    const std::filesystem::path temp = path.string() + ".tmp." + std::to_string(::getpid());
    {
        UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd) {
            throw_errno("create " + temp.string());
        }
        while (!content.empty()) {
            const ssize_t n = ::write(fd.get(), content.data(), content.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                const int saved = errno;
                ::unlink(temp.c_str());
                errno = saved;
                throw_errno("write " + temp.string());
            }
            content.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        throw_errno("rename to " + path.string());
    }
}

} // namespace vdrawer
