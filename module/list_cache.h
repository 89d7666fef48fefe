// Lists taken up from snapshots in the user's cache folder.
//
// A program the Linux module starts in loads the lists when its first
// request needs them; parsing a list of a hundred thousand lines would cost
// that request tens of milliseconds. Whoever replaces a list file through
// Tamsel (the tool, the editors) writes a snapshot of the new list to the
// cache folder right after, and a load that finds no snapshot for the file
// as it is now (a list edited by hand) writes one; later loads of the same
// file take the snapshot up instead of parsing. The folder keeps only
// snapshots of list files that exist, and only so many.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "patterns/pattern_list.h"
#include "patterns/stored_array.h"

namespace tamsel {

// The folder for snapshots, made if missing, or nullopt when there is none:
// on Linux "$XDG_CACHE_HOME/tamsel", else "$HOME/.cache/tamsel", and only
// when the folder (not a link to one) is the user's and nobody else may
// write to it; on Windows none, since the browser loads its lists once for
// its whole run.
std::optional<std::string> CacheFolderPath();

// A snapshot file's bytes, copied into memory of the program's own so that
// nothing another process does to the file afterwards reaches the list;
// null when the file cannot be had, is not a regular file, or (on Linux) is
// not the user's alone.
std::unique_ptr<ListStorage> OpenSnapshotFile(const std::string& path);

// Removes the temporary files of snapshot writes that never finished (the
// writer was killed): the user's own, a quarter of an hour old or more.
void RemoveStaleSnapshotTemporaries(const std::string& cacheFolder);

// A snapshot file in the cache folder, as the sweep sees it.
struct CachedSnapshot {
    std::string name;  // within the folder
    uint64_t size = 0;
    int64_t modified = 0;  // in the platform's finest unit
    std::string head;      // the file's first bytes, enough to name its list file
};

// The snapshot files of the cache folder ("list-*.snapshot") that are
// regular files and (on Linux) the user's own.
std::vector<CachedSnapshot> CachedSnapshots(const std::string& cacheFolder, size_t headBytes);

// Removes one file of the cache folder. A reader that has it open keeps
// what it read; where the file cannot go (Windows, while another program
// has it open), it stays until a later sweep.
void RemoveCachedSnapshot(const std::string& cacheFolder, const std::string& name);

// The list file at `path`, from the snapshot in `cacheFolder` made from the
// file as its stamp (module/file_stamp.h) shows it now, else parsed. A parse
// that succeeds leaves a snapshot for the next load; failing to write it
// changes nothing else.
ListLoadResult LoadListThroughCache(const std::string& path, const std::string& cacheFolder);

// Leaves the snapshot of the list file at `path` as it is now, for the next
// program that loads it: writers call it right after they replace the file.
// A file that does not load, or that changes meanwhile, gets none. Never
// fails: the list file is the user's data, the snapshot only a cache.
void WriteListSnapshot(const std::string& path, const std::string& cacheFolder) noexcept;

// How much the cache folder keeps.
struct SnapshotCacheBounds {
    size_t files = 16;
    uint64_t bytes = uint64_t{96} << 20;
};

// Removes the snapshots whose list file is gone or that are not of this
// program's making, then the oldest until the rest is within `bounds`. The
// snapshot of `keptList` (just written) stays whatever its size.
void TrimSnapshotCache(const std::string& cacheFolder, const std::string& keptList,
                       SnapshotCacheBounds bounds = {});

}  // namespace tamsel
