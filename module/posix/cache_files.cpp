// The cache folder on Linux, after the XDG base directory convention, and
// snapshot files read into private memory.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "module/list_cache.h"
#include "module/posix/unique_fd.h"
#include "patterns/posix/read_descriptor.h"

namespace tamsel {

namespace {

bool MadeOrPresent(const std::string& folder) { return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST; }

// Whether what `fd` names is the user's own and nobody else may write to it:
// a snapshot anyone else could write could let every request through.
bool OursAlone(int fd, mode_t kind) {
    struct stat info {};
    return fstat(fd, &info) == 0 && (info.st_mode & S_IFMT) == kind && info.st_uid == geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The snapshot's bytes in memory of our own. A mapping of the file would
// share its pages with the file: another program that cut the file short
// (truncate, cp over it, a restore) would make the next read of the list
// fault the whole program, and one that rewrote it in place would change
// a list already checked. A copy is checked once and then stays as checked.
class SnapshotCopy : public ListStorage {
public:
    explicit SnapshotCopy(ByteBuffer bytes) : bytes_(std::move(bytes)) {}
    std::string_view bytes() const override { return bytes_.view(); }

private:
    ByteBuffer bytes_;  // from malloc: aligned for every array read in place
};

}  // namespace

std::optional<std::string> CacheFolderPath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.cache";
    } else {
        return std::nullopt;
    }
    const std::string folder = base + "/tamsel";
    if (!MadeOrPresent(base) || !MadeOrPresent(folder)) return std::nullopt;
    const UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd || !OursAlone(fd.get(), S_IFDIR)) return std::nullopt;
    return folder;
}

std::unique_ptr<ListStorage> OpenSnapshotFile(const std::string& path) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd || !OursAlone(fd.get(), S_IFREG)) return nullptr;
    std::optional<ByteBuffer> bytes = ReadDescriptor(fd.get(), nullptr);
    if (!bytes || bytes->size() == 0) return nullptr;
    return std::make_unique<SnapshotCopy>(std::move(*bytes));
}

void RemoveStaleSnapshotTemporaries(const std::string& cacheFolder) {
    constexpr time_t kStaleSeconds = 15 * 60;  // far longer than any write of a snapshot takes
    const UniqueAny<DIR*, &closedir> dir(opendir(cacheFolder.c_str()));
    if (!dir) return;
    const time_t now = time(nullptr);
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with("list-") || name.find(".snapshot.tmp-") == std::string_view::npos) continue;
        struct stat info {};
        if (fstatat(dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(info.st_mode) || info.st_uid != geteuid() || now - info.st_mtime < kStaleSeconds) continue;
        unlinkat(dirfd(dir.get()), entry->d_name, 0);
    }
}

}  // namespace tamsel
