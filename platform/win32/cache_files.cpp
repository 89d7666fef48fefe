// No cache folder on Windows: the browser loads the lists once for its run,
// where the Linux module loads them in every program it starts in.
#include "platform/native.h"
#include "patterns/file_bytes.h"
#include "patterns/list_snapshot.h"

namespace tamsel {

std::optional<std::string> native::CacheFolderPath() { return std::nullopt; }

std::unique_ptr<ListStorage> native::OpenSnapshotFile(const std::string& path) {
    std::optional<std::string> bytes = ReadFileBytes(path);
    if (!bytes) return nullptr;
    return std::make_unique<StringStorage>(std::move(*bytes));
}

void native::RemoveStaleSnapshotTemporaries(const std::string&) {}

}  // namespace tamsel
