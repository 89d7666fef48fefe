// The one owner of the three list files: what they are called, where they
// lie, their entries as a person edits them, the atomic rewrite, and the
// compiled lists it loads and publishes in a ListSlots.
//
// An entry is one line of the file, exactly as the loader reads it: comment
// lines and comment parts stay as written and inert, and a line the loader
// would split into pieces is kept whole. Writing the entries back in the
// same order gives the loader the same lines, so a list means what it meant.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "patterns/pattern_list.h"
#include "listfiles/list_kind.h"

namespace tamsel {

struct ListFileInfo {
    ListKind kind;
    const char* fileName;
    const char* title;  // what a person reads, in the dialogs and the tool
};

// Every list file, in the order the module loads them.
inline constexpr std::array<ListFileInfo, 3> kListFiles = {{
    {ListKind::ShippedBlock, "BlockList.txt", "Shipped Block List"},
    {ListKind::UserBlock, "UserBlock.txt", "My Black List"},
    {ListKind::UserTrust, "UserTrust.txt", "My White List"},
}};

const ListFileInfo& ListFileOf(ListKind kind);

// The full path of a list file, or nullopt when it cannot be formed.
// FilesOfThisProcess (listfiles/list_folders.h) for the module; the tool and
// the tests name others.
using ListFilePath = std::function<std::optional<std::string>(std::string_view fileName)>;

struct ListWriteResult {
    bool written = false;
    std::string path;   // the file written, or meant to be
    std::string error;  // why not, when `written` is false
};

class ListStore {
public:
    // With a cache folder, loads go through snapshots (listfiles/list_cache.h)
    // and every write leaves the new file's snapshot there.
    ListStore(ListSlots& slots, ListFilePath where, std::optional<std::string> cacheFolder = std::nullopt);

    std::optional<std::string> PathOf(ListKind kind) const;

    // The file's lines in file order, without their line ends; lines of
    // white space only are dropped. Fails when the file cannot be read.
    Result<std::vector<std::string>> ReadEntries(ListKind kind) const;

    // Replaces the file whole with one entry per line, each ended by CR LF
    // (a single empty line for no entries). A failed write leaves the old
    // file as it was. With a cache folder, the new file's snapshot is left
    // there for the next program that loads it; a snapshot that cannot be
    // written changes nothing else.
    ListWriteResult WriteEntries(ListKind kind, const std::vector<std::string>& entries) const;

    // The compiled list of the file as it is now, or why it did not load
    // (running out of memory included). Publishes nothing.
    ListLoadResult Load(ListKind kind) const;

    // Loads the file and publishes the list it gives; the list it replaces
    // is retired by the shared state. Every reload, the editors' and the
    // module's, goes through here: a file that fails to load (one bad line
    // fails it whole) leaves the list in use as it was, so the user's other
    // entries stay in force, and the failure is returned for the caller to
    // say or log.
    std::optional<Failure> Publish(ListKind kind) const;

    // Publishes afresh only a list that is present: one that failed to load
    // at attach stays null until the next attach.
    std::optional<Failure> RenewIfPresent(ListKind kind) const;

private:
    ListSlots& slots_;
    const ListFilePath where_;
    const std::optional<std::string> cacheFolder_;
};

// Why the loader would refuse `entry` as a line of a list file, or nullopt
// when it takes it: the loader's own reading of that one line, since one
// refused line fails the whole file. The editors ask before they write.
std::optional<Failure> EntryFault(std::string_view entry);

// The entries as the bytes WriteEntries puts in the file.
std::string ListFileBytes(const std::vector<std::string>& entries);

// The entries of a file's bytes, as ReadEntries gives them.
std::vector<std::string> SplitListLines(std::string_view bytes);

}  // namespace tamsel
