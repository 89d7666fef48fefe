// A loaded list as bytes, to be taken up again without parsing.
//
// Parsing a list of a hundred thousand lines and building its index takes
// tens of milliseconds, and the Linux module pays that in every program it
// starts in. A snapshot is the loaded list's arrays back to back, headed by
// a key of what it was made from (the list text's length and hash, or the
// file's stamp), so it is taken up only for that very list. Every offset and count is checked on the way in:
// a damaged or foreign snapshot is refused, never trusted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "patterns/pattern_list.h"

namespace tamsel {

// What a snapshot was made from: a length and a hash of the list's text, or
// of anything else that tells one version of the list from another.
struct ListTextKey {
    uint64_t length = 0;
    uint64_t hash = 0;

    static ListTextKey Of(std::string_view text);
    bool operator==(const ListTextKey&) const = default;
};

// The snapshot of `list`, loaded from the text `key` names.
std::string ListSnapshotBytes(const PatternList& list, const ListTextKey& key);

// A snapshot of the stored arrays `payload`, headed as ListSnapshotBytes
// heads them: for tests of the checks made on the arrays.
std::string SealedSnapshot(std::string_view payload, const ListTextKey& key);

// The list in the snapshot `storage` holds, read in place, when the
// snapshot is whole and was made from what `key` names; else null. The list
// keeps the storage. `source` names the list file in the result. Running
// out of memory throws std::bad_alloc.
std::unique_ptr<PatternList> ListFromSnapshot(std::unique_ptr<ListStorage> storage, const ListTextKey& key,
                                              const std::string& source);

}  // namespace tamsel
