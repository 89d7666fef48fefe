#include "platform/native.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/posix/unique_fd.h"

namespace tamsel {

// O_APPEND makes each write land whole at the end, whatever other threads
// and processes append at the same time. O_NOFOLLOW: a link planted at the
// log's path must not send the lines (or the creation of a file) elsewhere;
// a new log is the user's to read alone. O_NONBLOCK keeps a FIFO without a
// reader from stopping the sender. The caller's errno is kept.
size_t native::AppendLogLine(const std::string& path, std::string_view line) noexcept {
    const int saved = errno;
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    const UniqueFd file(::open(path.c_str(), kFlags, 0600));
    const ssize_t written = file ? ::write(file.get(), line.data(), line.size()) : 0;
    errno = saved;
    return written > 0 ? static_cast<size_t>(written) : 0;
}

uint32_t native::CurrentProcessId() noexcept { return static_cast<uint32_t>(::getpid()); }

}  // namespace tamsel
