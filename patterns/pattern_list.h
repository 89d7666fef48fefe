// List files ("BlockList.txt", "UserBlock.txt", "UserTrust.txt") and their loader.
//
// One pattern per line: host[:port][/path], "#" starts a comment, white space
// is removed wherever it stands, and a leading "~" makes an exception line.
//
// Lists of a hundred thousand lines are common, so a loaded list is compact:
// every line's cleaned text sits in one arena, an entry is a small record of
// offsets into it, and path patterns are only compiled when a request first
// needs the regex engine for them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "patterns/list_index.h"
#include "patterns/path_table.h"
#include "patterns/stored_array.h"

namespace tamsel {

inline constexpr size_t kMaxPieceLength = 511;  // longer lines fall into pieces

struct PatternEntry {
    static constexpr uint32_t kNoPath = UINT32_MAX;

    uint32_t textOffset = 0;     // into PatternList::text
    int32_t lineNumber = 0;      // 1-based line of the file it came from
    int32_t port = 0;            // 0: every port
    uint32_t pathSlot = kNoPath; // its record in PatternList::paths; kNoPath: every path
    uint16_t textLength = 0;     // the cleaned line, without the "~"
    uint16_t hostLength = 0;     // the host is the text's start; possibly empty: every host
    uint16_t pathOffset = 0;     // where the path (from its "/" on) starts in the text
    bool positive = true;        // false for an exception line

    bool hasPath() const { return pathSlot != kNoPath; }
};

struct PatternList {
    // What a list taken up from a snapshot reads in place; null after a
    // parse. Declared first, it outlives the arrays that view it.
    std::unique_ptr<ListStorage> storage;
    std::string source;  // the file it was loaded from
    StoredArray<char, std::string> text;  // every entry's cleaned text, back to back
    // Chain order: the last pattern line of the file comes first, so the line
    // nearest the end of the file decides.
    StoredArray<PatternEntry> entries;
    PathTable paths;   // one record per entry with a path
    ListIndex index;   // over `entries`, built once at load

    std::string_view Text(const PatternEntry& e) const {
        return std::string_view(text.data(), text.size()).substr(e.textOffset, e.textLength);
    }
    std::string_view Host(const PatternEntry& e) const { return Text(e).substr(0, e.hostLength); }
    std::optional<std::string_view> Path(const PatternEntry& e) const {
        if (!e.hasPath()) return std::nullopt;
        return Text(e).substr(e.pathOffset);
    }
};

struct ListLoadError {
    int32_t lineNumber = 0;  // 0 when the file itself failed
    std::string message;
};

struct ListLoadResult {
    std::unique_ptr<PatternList> list;    // null on failure
    std::optional<ListLoadError> error;   // why, when `list` is null
};

// Loads a list file; a missing file or a path that fails to compile gives null.
std::unique_ptr<PatternList> LoadPatternList(const std::string& path);

// The same load, saying why it failed.
ListLoadResult LoadPatternListChecked(const std::string& path);

// Parses list text already in memory; `source` names it in the result.
ListLoadResult ParsePatternListText(std::string_view text, const std::string& source);

// Releases a list. Null is ignored.
void FreePatternList(const PatternList* list);

}  // namespace tamsel
