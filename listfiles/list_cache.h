// Lists taken up from snapshots in the user's cache folder.
//
// A program the Linux module starts in loads the lists when its first
// request needs them; parsing a list of a hundred thousand lines would cost
// that request tens of milliseconds. The first load of a list file writes a
// snapshot of the loaded list to the cache folder, and later loads of the
// same text take the snapshot up instead of parsing.
#pragma once

#include <memory>
#include <optional>
#include <string>

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

// The list file at `path`, from the snapshot in `cacheFolder` made from the
// file as its stamp (platform/file_stamp.h) shows it now, else parsed. A parse
// that succeeds leaves a snapshot for the next load; failing to write it
// changes nothing else.
ListLoadResult LoadListThroughCache(const std::string& path, const std::string& cacheFolder);

}  // namespace tamsel
