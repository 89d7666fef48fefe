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

// The list file at `path`, from the snapshot in `cacheFolder` made from the
// file as its stamp (platform/env.h) shows it now, else parsed. A parse
// that succeeds leaves a snapshot for the next load; failing to write it
// changes nothing else.
ListLoadResult LoadListThroughCache(const std::string& path, const std::string& cacheFolder);

}  // namespace tamsel
