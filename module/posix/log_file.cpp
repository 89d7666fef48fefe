#include "module/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "module/posix/unique_fd.h"

namespace tamsel {

// O_APPEND makes each write land whole at the end, whatever other threads
// and processes append at the same time; O_NONBLOCK keeps a FIFO without a
// reader from stopping the sender. The caller's errno is kept.
void AppendLogLine(const std::string& path, std::string_view line) noexcept {
    const int saved = errno;
    const UniqueFd file(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644));
    if (file) (void)!::write(file.get(), line.data(), line.size());
    errno = saved;
}

uint32_t CurrentProcessId() noexcept { return static_cast<uint32_t>(::getpid()); }

}  // namespace tamsel
