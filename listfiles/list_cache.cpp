#include "listfiles/list_cache.h"

#include <cinttypes>
#include <cstdio>
#include <new>

#include "patterns/list_snapshot.h"
#include "platform/env.h"

namespace tamsel {

namespace {

// One snapshot per list file, named after the file's path.
std::string SnapshotPathFor(const std::string& listPath, const std::string& cacheFolder) {
    char name[48];
    std::snprintf(name, sizeof name, "list-%016" PRIx64 ".snapshot", ListTextKey::Of(listPath).hash);
    return cacheFolder + "/" + name;
}

// A list file is known by its stamp: a file replaced or rewritten gets a new
// one, so a snapshot is never taken up for text it was not made from.
ListTextKey KeyOf(const FileStamp& stamp) {
    const uint64_t fields[] = {stamp.device, stamp.inode, stamp.size, static_cast<uint64_t>(stamp.modified)};
    return {stamp.size, ListTextKey::Of(std::string_view(reinterpret_cast<const char*>(fields), sizeof fields)).hash};
}

}  // namespace

ListLoadResult LoadListThroughCache(const std::string& path, const std::string& cacheFolder) {
    try {
        const std::optional<FileStamp> stamp = TheEnv().ReadFileStamp(path);
        const std::string snapshotPath = SnapshotPathFor(path, cacheFolder);
        if (stamp) {
            if (auto list = ListFromSnapshot(TheEnv().OpenSnapshotFile(snapshotPath), KeyOf(*stamp), path)) {
                return {std::move(list), std::nullopt};
            }
        }
        ListLoadResult loaded = LoadPatternListChecked(path);
        // Only a file that stayed as it was through the read has its snapshot.
        std::string ignored;
        if (loaded.list && stamp && TheEnv().ReadFileStamp(path) == stamp) {
            TheEnv().RemoveStaleSnapshotTemporaries(cacheFolder);
            TheEnv().ReplaceFileContents(snapshotPath, ListSnapshotBytes(*loaded.list, KeyOf(*stamp)), &ignored,
                                NewFileAccess::OwnerOnly);
        }
        return loaded;
    } catch (const std::bad_alloc&) {
        return {nullptr, ListLoadError{0, "out of memory"}};
    }
}

}  // namespace tamsel
