// The cache folder on Linux, after the XDG base directory convention, and
// snapshot files mapped for reading.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "module/list_cache.h"
#include "module/posix/unique_fd.h"

namespace tamsel {

namespace {

bool MadeOrPresent(const std::string& folder) { return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST; }

// A private read-only mapping, its pages filled at once: one call instead of
// a fault per page. Snapshots are only ever replaced by a rename, never
// rewritten in place, so the mapped file does not change under the list.
class MappedFile : public ListStorage {
public:
    MappedFile(void* address, size_t size) : address_(address), size_(size) {}
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile() override { munmap(address_, size_); }
    std::string_view bytes() const override { return {static_cast<const char*>(address_), size_}; }

private:
    void* address_;
    size_t size_;
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
    return folder;
}

std::unique_ptr<ListStorage> OpenSnapshotFile(const std::string& path) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd || fstat(fd.get(), &info) != 0 || info.st_size <= 0) return nullptr;
    const auto size = static_cast<size_t>(info.st_size);
    void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd.get(), 0);
    if (address == MAP_FAILED) return nullptr;
    return std::make_unique<MappedFile>(address, size);
}

}  // namespace tamsel
