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

#include "patterns/pattern_list.h"
#include "patterns/stored_array.h"

namespace tamsel {

// The list file at `path`, from the snapshot in `cacheFolder` made from the
// file as its stamp (platform/env.h) shows it now, else parsed. A parse
// that succeeds leaves a snapshot for the next load; failing to write it
// changes nothing else. Running out of memory throws std::bad_alloc, as
// LoadPatternListChecked does.
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
void TrimSnapshotCache(const std::string& cacheFolder, const std::string& keptList, SnapshotCacheBounds bounds = {});

}  // namespace tamsel
