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

std::optional<ByteBuffer> ReadDescriptor(int fd, int* error) {
    const auto fail = [error](int code) -> std::optional<ByteBuffer> {
        if (error != nullptr) *error = code;
        return std::nullopt;
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail(errno);
    if (S_ISDIR(info.st_mode)) return fail(EISDIR);
    if (!S_ISREG(info.st_mode)) return fail(kNotRegularFile);
    return ReadBounded(static_cast<uint64_t>(info.st_size), [fd](char* into, size_t n) -> long long {
        ssize_t got;
        do {
            got = ::read(fd, into, n);
        } while (got < 0 && errno == EINTR);
        return got;
    }, error);
}

}  // namespace

std::optional<ByteBuffer> ReadFileBuffer(const std::string& path, int* error) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        if (error != nullptr) *error = errno;
        return std::nullopt;
    }
    return ReadDescriptor(fd.get(), error);
}

}  // namespace tamsel
