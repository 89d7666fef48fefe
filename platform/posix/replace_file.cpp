// The file replacement on Linux: write, fsync, close, rename over the file
// the path leads to.
#include "platform/native.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "base/posix/unique_fd.h"

namespace tamsel {

namespace {

// Unique per process and call, so two writers never share a temporary file.
std::string TemporaryBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The file `path` leads to through any symbolic links, so that a list kept
// elsewhere and linked into place is updated where it lives and the link is
// kept. A link to a file not yet there leads to where that file would be.
std::string ResolvedTarget(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX), '\0');
        const ssize_t n = readlink(path.c_str(), target.data(), target.size());
        if (n <= 0) return path;
        target.resize(static_cast<size_t>(n));
        const size_t slash = path.rfind('/');
        path = target[0] == '/' || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    return path;  // a loop of links: the link reached is replaced by the file
}

Failure Fail(const char* step, const std::string& temp) {
    Failure failure{std::string(step) + ": " + std::strerror(errno)};
    unlink(temp.c_str());
    return failure;
}

}  // namespace

Status native::ReplaceFileContents(const std::string& given, std::string_view bytes, NewFileAccess access) {
    const std::string path = ResolvedTarget(given);
    const std::string temp = TemporaryBeside(path);
    const bool ownerOnly = access == NewFileAccess::OwnerOnly;
    UniqueFd fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, ownerOnly ? 0600 : 0666));
    if (!fd) return Failure{"cannot create " + temp + ": " + std::strerror(errno)};
    // The new file keeps the permissions the user gave the old one.
    struct stat old {};
    if (!ownerOnly && stat(path.c_str(), &old) == 0) fchmod(fd.get(), old.st_mode & 07777);
    if (!WriteAll(fd.get(), bytes)) return Fail("write", temp);
    if (fsync(fd.get()) != 0) return Fail("fsync", temp);
    if (fd.CloseNow() != 0) return Fail("close", temp);
    if (rename(temp.c_str(), path.c_str()) != 0) return Fail("rename", temp);
    // The rename itself lasts only once the folder is on disk.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const UniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) fsync(dir.get());
    return {};
}

}  // namespace tamsel
