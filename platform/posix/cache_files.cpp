// The cache folder on Linux, after the XDG base directory convention, and
// snapshot files copied into memory of the program's own.
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "base/posix/unique_fd.h"
#include "platform/native.h"
#include "patterns/file_bytes.h"

namespace tamsel {

namespace {

bool MadeOrPresent(const std::string& folder) { return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST; }

// The status of what `fd` names when it is of `kind`, the user's own, and
// nobody else may write to it: a snapshot anyone else could write could let
// every request through.
std::optional<struct stat> OursAlone(int fd, mode_t kind) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || (info.st_mode & S_IFMT) != kind || info.st_uid != geteuid() ||
        (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return std::nullopt;
    }
    return info;
}

// The snapshot's bytes in memory of the program's own. A mapping of the file
// would share its pages with the file: another program that cut the file
// short (truncate, cp over it, a restore) would make the next read of the
// list fault the whole program, and one that wrote over it in place would
// change a list already checked. A copy is checked once and stays as checked.
// Its memory is had in large pages, put in place at once, where the kernel
// gives them: a fault per small page would cost ten times the copy itself.
// Once filled it is read-only.
class SnapshotCopy : public ListStorage {
public:
    explicit SnapshotCopy(size_t size)
        : size_(size),
          capacity_(RoundUp(size, size >= kLargePage ? kLargePage : kSmallPage)),
          address_(mmap(nullptr, capacity_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) {
        if (address_ == MAP_FAILED) return;
        // Both are requests: where one is refused, pages come as they are touched.
        madvise(address_, capacity_, MADV_HUGEPAGE);
        madvise(address_, capacity_, MADV_POPULATE_WRITE);
    }
    SnapshotCopy(const SnapshotCopy&) = delete;
    SnapshotCopy& operator=(const SnapshotCopy&) = delete;
    ~SnapshotCopy() override {
        if (address_ != MAP_FAILED) munmap(address_, capacity_);
    }
    std::string_view bytes() const override { return {static_cast<const char*>(address_), size_}; }

    // Fills the copy from `fd`; false when the memory could not be had or
    // the file ended before the size it claimed.
    bool Fill(int fd) {
        if (address_ == MAP_FAILED) return false;
        for (size_t filled = 0; filled < size_;) {
            const ssize_t n = read(fd, static_cast<char*>(address_) + filled, size_ - filled);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            filled += static_cast<size_t>(n);
        }
        return mprotect(address_, capacity_, PROT_READ) == 0;
    }

private:
    static constexpr size_t kLargePage = size_t{2} << 20, kSmallPage = 4096;
    static size_t RoundUp(size_t n, size_t unit) { return (n + unit - 1) / unit * unit; }
    size_t size_, capacity_;
    void* address_;
};

}  // namespace

std::optional<std::string> native::CacheFolderPath() {
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

std::unique_ptr<ListStorage> native::OpenSnapshotFile(const std::string& path) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    const std::optional<struct stat> info = fd ? OursAlone(fd.get(), S_IFREG) : std::nullopt;
    if (!info || info->st_size <= 0 || static_cast<uint64_t>(info->st_size) > kMaxFileBytes) return nullptr;
    auto copy = std::make_unique<SnapshotCopy>(static_cast<size_t>(info->st_size));
    if (!copy->Fill(fd.get())) return nullptr;
    return copy;
}

std::vector<CachedSnapshot> native::CachedSnapshots(const std::string& cacheFolder, size_t headBytes) {
    std::vector<CachedSnapshot> found;
    const UniqueAny<DIR*, &closedir> dir(opendir(cacheFolder.c_str()));
    if (!dir) return found;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with("list-") || !name.ends_with(".snapshot")) continue;
        const UniqueFd fd(openat(dirfd(dir.get()), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        const std::optional<struct stat> info = fd ? OursAlone(fd.get(), S_IFREG) : std::nullopt;
        if (!info) continue;
        CachedSnapshot snapshot{std::string(name), static_cast<uint64_t>(info->st_size),
                                static_cast<int64_t>(info->st_mtim.tv_sec) * 1000000000 + info->st_mtim.tv_nsec,
                                std::string(headBytes, '\0')};
        const ssize_t n = pread(fd.get(), snapshot.head.data(), headBytes, 0);
        snapshot.head.resize(n > 0 ? static_cast<size_t>(n) : 0);
        found.push_back(std::move(snapshot));
    }
    return found;
}

// Unlinking leaves a reader that has the file open its copy whole.
void native::RemoveCachedSnapshot(const std::string& cacheFolder, const std::string& name) {
    unlink((cacheFolder + "/" + name).c_str());
}

void native::RemoveStaleSnapshotTemporaries(const std::string& cacheFolder) {
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
