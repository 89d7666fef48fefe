// No cache folder on Windows: the browser loads the lists once for its run,
// where the Linux module loads them in every program it starts in. A folder
// named by the caller is still served, through the standard library.
#include <filesystem>
#include <fstream>
#include <system_error>

#include "patterns/file_bytes.h"
#include "patterns/list_snapshot.h"
#include "platform/native.h"

namespace tamsel {

std::optional<std::string> native::CacheFolderPath() { return std::nullopt; }

std::unique_ptr<ListStorage> native::OpenSnapshotFile(const std::string& path) {
    Result<std::string> bytes = ReadFileBytes(path);
    if (!bytes) return nullptr;
    return std::make_unique<StringStorage>(std::move(*bytes));
}

void native::RemoveStaleSnapshotTemporaries(const std::string&) {}

std::vector<CachedSnapshot> native::CachedSnapshots(const std::string& cacheFolder, size_t headBytes) {
    std::vector<CachedSnapshot> found;
    std::error_code error;
    for (const auto& file : std::filesystem::directory_iterator(cacheFolder, error)) {
        const std::string name = file.path().filename().string();
        if (!name.starts_with("list-") || !name.ends_with(".snapshot") || !file.is_regular_file(error)) continue;
        CachedSnapshot snapshot{name, file.file_size(error), file.last_write_time(error).time_since_epoch().count(),
                                std::string(headBytes, '\0')};
        std::ifstream in(file.path(), std::ios::binary);
        in.read(snapshot.head.data(), static_cast<std::streamsize>(headBytes));
        snapshot.head.resize(static_cast<size_t>(in.gcount()));
        found.push_back(std::move(snapshot));
    }
    return found;
}

// A file another program has open cannot be deleted here; it stays until a
// later sweep.
void native::RemoveCachedSnapshot(const std::string& cacheFolder, const std::string& name) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(cacheFolder) / name, ignored);
}

}  // namespace tamsel
