// No list snapshots on Windows: the browser loads the lists once for its
// whole run, where the Linux module loads them again in every program it
// starts in, so CacheFolderPath() names no folder and the snapshot calls
// below, which only a cache folder leads to, find and leave nothing.
#include "platform/native.h"

namespace tamsel {

std::optional<std::string> native::CacheFolderPath() { return std::nullopt; }

std::unique_ptr<ListStorage> native::OpenSnapshotFile(const std::string&) { return nullptr; }

void native::RemoveStaleSnapshotTemporaries(const std::string&) {}

std::vector<CachedSnapshot> native::CachedSnapshots(const std::string&, size_t) { return {}; }

void native::RemoveCachedSnapshot(const std::string&, const std::string&) {}

}  // namespace tamsel
