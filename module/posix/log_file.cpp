#include "module/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "module/posix/unique_fd.h"

namespace tamsel {

namespace {

// Opens the log for appending. O_NOFOLLOW: a link planted at the log's path
// must not send the lines (or the creation of a file) elsewhere; a new log
// is the user's to read alone. O_NONBLOCK keeps a FIFO without a reader from
// stopping the sender. Read access, where the file grants it, lets the last
// byte be looked at.
UniqueFd OpenLog(const std::string& path) {
    constexpr int kFlags = O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    UniqueFd file(::open(path.c_str(), O_RDWR | kFlags, 0600));
    if (!file && errno == EACCES) file = UniqueFd(::open(path.c_str(), O_WRONLY | kFlags, 0600));
    return file;
}

// Whether the file ends inside a line: a write cut short (a full disk, a
// size limit) left part of one, which the next line must not continue.
bool EndsInsideALine(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return false;
    char last = '\n';
    return ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
}

}  // namespace

// O_APPEND makes each write land whole at the end, whatever other threads
// and processes append at the same time. The caller's errno is kept.
void AppendLogLine(const std::string& path, std::string_view line) noexcept {
    const int saved = errno;
    const UniqueFd file = OpenLog(path);
    if (file) {
        char feed = '\n';
        iovec parts[2] = {{&feed, 1}, {const_cast<char*>(line.data()), line.size()}};
        const bool ended = !EndsInsideALine(file.get());
        (void)!::writev(file.get(), parts + ended, ended ? 1 : 2);
    }
    errno = saved;
}

uint32_t CurrentProcessId() noexcept { return static_cast<uint32_t>(::getpid()); }

}  // namespace tamsel
