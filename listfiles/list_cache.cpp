#include "listfiles/list_cache.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "patterns/list_snapshot.h"
#include "platform/env.h"

namespace tamsel {

namespace {

// A cache file opens with the list file it was made for (so that a sweep
// can tell whether that file still exists), then holds the snapshot: a
// magic word, the path's length, the path padded to eight bytes so the
// snapshot's arrays keep their alignment.
constexpr uint64_t kHeadMagic = 0x3168636143736d54;  // "TmsCach1"
constexpr size_t kLongestHead = 16 + 4096;

// The list file with every link resolved: the tool given a relative folder
// and the module that finds the same file beside itself name one snapshot.
std::string ListFileOrigin(const std::string& listPath) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(listPath, error);
    return error ? listPath : resolved.string();
}

// One snapshot per list file, named after the file's resolved path.
std::string SnapshotNameFor(const std::string& origin) {
    char name[48];
    std::snprintf(name, sizeof name, "list-%016" PRIx64 ".snapshot", ListTextKey::Of(origin).hash);
    return name;
}

std::string SnapshotHead(const std::string& origin) {
    std::string head(16, '\0');
    const uint64_t words[] = {kHeadMagic, origin.size()};
    std::memcpy(head.data(), words, sizeof words);
    head += origin;
    head.resize((head.size() + 7) / 8 * 8, '\0');
    return head;
}

struct Head {
    std::string_view origin;
    size_t snapshotAt = 0;
};

// What SnapshotHead wrote at the start of `bytes`, or nullopt.
std::optional<Head> ReadHead(std::string_view bytes) {
    uint64_t words[2] = {};
    if (bytes.size() < sizeof words) return std::nullopt;
    std::memcpy(words, bytes.data(), sizeof words);
    if (words[0] != kHeadMagic || words[1] > bytes.size() - sizeof words) return std::nullopt;
    const size_t length = static_cast<size_t>(words[1]);
    return Head{bytes.substr(sizeof words, length), (sizeof words + length + 7) / 8 * 8};
}

// The snapshot part of a cache file's bytes, which the list reads in place.
class SnapshotPart : public ListStorage {
public:
    SnapshotPart(std::unique_ptr<ListStorage> file, size_t at) : file_(std::move(file)), at_(at) {}
    std::string_view bytes() const override { return file_->bytes().substr(at_); }

private:
    std::unique_ptr<ListStorage> file_;
    size_t at_;
};

// A list file is known by its stamp: a file replaced or rewritten gets a new
// one, so a snapshot is never taken up for text it was not made from.
ListTextKey KeyOf(const FileStamp& stamp) {
    const uint64_t fields[] = {stamp.device, stamp.inode, stamp.size, static_cast<uint64_t>(stamp.modified)};
    return {stamp.size, ListTextKey::Of(std::string_view(reinterpret_cast<const char*>(fields), sizeof fields)).hash};
}

std::unique_ptr<PatternList> ListFromCacheFile(std::unique_ptr<ListStorage> file, const std::string& origin,
                                               const FileStamp& stamp, const std::string& path) {
    const std::optional<Head> head = file ? ReadHead(file->bytes()) : std::nullopt;
    if (!head || head->origin != origin || head->snapshotAt > file->bytes().size()) return nullptr;
    return ListFromSnapshot(std::make_unique<SnapshotPart>(std::move(file), head->snapshotAt), KeyOf(stamp), path);
}

// Parses the file and, when it stayed as `stamp` shows it through the read,
// leaves its snapshot and trims the folder.
ListLoadResult ParseAndKeep(const std::string& path, const std::string& origin, const std::optional<FileStamp>& stamp,
                            const std::string& cacheFolder) {
    ListLoadResult loaded = LoadPatternListChecked(path);
    if (!loaded || !stamp || TheEnv().ReadFileStamp(path) != stamp) return loaded;
    TheEnv().RemoveStaleSnapshotTemporaries(cacheFolder);
    std::string bytes = SnapshotHead(origin);
    bytes += ListSnapshotBytes(**loaded, KeyOf(*stamp));
    const std::string snapshotPath = cacheFolder + "/" + SnapshotNameFor(origin);
    if (TheEnv().ReplaceFileContents(snapshotPath, bytes, NewFileAccess::OwnerOnly).ok()) {
        TrimSnapshotCache(cacheFolder, origin);
    }
    return loaded;
}

}  // namespace

ListLoadResult LoadListThroughCache(const std::string& path, const std::string& cacheFolder) {
    const std::optional<FileStamp> stamp = TheEnv().ReadFileStamp(path);
    const std::string origin = ListFileOrigin(path);
    if (stamp) {
        const std::string snapshotPath = cacheFolder + "/" + SnapshotNameFor(origin);
        if (auto list = ListFromCacheFile(TheEnv().OpenSnapshotFile(snapshotPath), origin, *stamp, path)) {
            return ListLoadResult(std::move(list));
        }
    }
    return ParseAndKeep(path, origin, stamp, cacheFolder);
}

void WriteListSnapshot(const std::string& path, const std::string& cacheFolder) noexcept {
    try {
        const std::optional<FileStamp> stamp = TheEnv().ReadFileStamp(path);
        // Only the snapshot is wanted; a file that does not load leaves none.
        if (stamp) static_cast<void>(ParseAndKeep(path, ListFileOrigin(path), stamp, cacheFolder));
    } catch (...) {
        // Out of memory: the next program that loads the file parses it.
    }
}

void TrimSnapshotCache(const std::string& cacheFolder, const std::string& keptList, SnapshotCacheBounds bounds) {
    const std::string keptName = SnapshotNameFor(ListFileOrigin(keptList));
    std::vector<CachedSnapshot> others;
    size_t files = 0;
    uint64_t bytes = 0;
    for (CachedSnapshot& snapshot : TheEnv().CachedSnapshots(cacheFolder, kLongestHead)) {
        if (snapshot.name == keptName) {
            ++files;
            bytes += snapshot.size;
            continue;
        }
        const std::optional<Head> head = ReadHead(snapshot.head);
        if (head && TheEnv().ReadFileStamp(std::string(head->origin))) {
            others.push_back(std::move(snapshot));
        } else {
            TheEnv().RemoveCachedSnapshot(cacheFolder, snapshot.name);
        }
    }
    // The newest are kept: they are of the lists in use most lately.
    std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.modified > b.modified; });
    for (const CachedSnapshot& snapshot : others) {
        if (files + 1 <= bounds.files && bytes + snapshot.size <= bounds.bytes) {
            ++files;
            bytes += snapshot.size;
        } else {
            TheEnv().RemoveCachedSnapshot(cacheFolder, snapshot.name);
        }
    }
}

}  // namespace tamsel
