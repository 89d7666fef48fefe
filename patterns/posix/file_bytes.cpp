// Reading a file on POSIX systems: opened without waiting (a FIFO would
// otherwise hold the opener until a writer comes), then read only when it
// is a regular file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/posix/unique_fd.h"
#include "patterns/file_bytes.h"

namespace tamsel {

namespace {

Result<ByteBuffer> ReadDescriptor(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return ReadFailure(errno);
    if (S_ISDIR(info.st_mode)) return ReadFailure(EISDIR);
    if (!S_ISREG(info.st_mode)) return ReadFailure(kNotRegularFile);
    return ReadBounded(static_cast<uint64_t>(info.st_size), [fd](char* into, size_t n) -> long long {
        ssize_t got;
        do {
            got = ::read(fd, into, n);
        } while (got < 0 && errno == EINTR);
        return got;
    });
}

}  // namespace

Result<ByteBuffer> ReadFileBuffer(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) return ReadFailure(errno);
    return ReadDescriptor(fd.get());
}

}  // namespace tamsel
