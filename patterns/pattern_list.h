// List files ("BlockList.txt", "UserBlock.txt", "UserTrust.txt") and their loader.
//
// One pattern per line: host[:port][/path], "#" starts a comment, white space
// is removed wherever it stands, and a leading "~" makes an exception line.
//
// Lists of a hundred thousand lines are common, so a loaded list is compact:
// every line's cleaned text sits in one arena, an entry is a small record of
// offsets into it, and each path pattern is held as the small glob or
// automaton program that answers it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "patterns/file_bytes.h"
#include "patterns/list_index.h"
#include "patterns/path_table.h"
#include "patterns/stored_array.h"

namespace tamsel {

inline constexpr size_t kMaxPieceLength = 511;  // longer lines fall into pieces

// The line number of each entry, by its place in file order. Most lines hold
// one pattern each, so only the places where numbering jumps (after blank
// and comment lines) or stands still (the pieces of a long line) are kept.
class LineNumbers {
public:
    // Called for each entry in file order.
    void Add(int32_t lineNumber);
    void Seal();
    int32_t Of(size_t fileIndex) const;

private:
    friend class ListSnapshot;
    struct Jump {
        uint32_t fileIndex;  // the first entry of a run of consecutive lines
        int32_t lineNumber;  // its line
    };
    std::vector<Jump> jumpsBuilt_;  // until Seal
    StoredArray<Jump> jumps_;
    uint32_t count_ = 0;
    int32_t last_ = 0;
};

// One pattern line: 12 bytes, as lists run to a hundred thousand lines. What
// is rare or only needed to report a decision (the port, the line number) is
// read back through the list.
struct PatternEntry {
    static constexpr uint32_t kNoPath = UINT32_MAX;

    uint32_t textOffset = 0;       // into PatternList::text
    uint32_t pathSlot = kNoPath;   // its record in PatternList::paths; kNoPath: every path
    uint32_t textLength : 10 = 0;  // the cleaned line, without the "~" (at most kMaxPieceLength)
    uint32_t hostLength : 10 = 0;  // the host is the text's start; possibly empty: every host
    uint32_t positive : 1 = 1;     // 0 for an exception line
    uint32_t hasPort : 1 = 0;      // the host is followed by ":port"

    bool hasPath() const { return pathSlot != kNoPath; }
};
static_assert(sizeof(PatternEntry) == 12);

struct PatternList {
    // What a list taken up from a snapshot reads in place; null after a
    // parse. Declared first, it outlives the arrays that view it.
    std::unique_ptr<ListStorage> storage;
    std::string source;                  // the file it was loaded from
    StoredArray<char, ByteBuffer> text;  // every entry's cleaned text, back to back
    // Chain order: the last pattern line of the file comes first, so the line
    // nearest the end of the file decides.
    StoredArray<PatternEntry> entries;
    PathTable paths;    // one record per entry with a path
    ListIndex index;    // over `entries`, built once at load
    LineNumbers lines;  // each entry's line in the file

    std::string_view Text(const PatternEntry& e) const {
        return std::string_view(text.data(), text.size()).substr(e.textOffset, e.textLength);
    }
    std::string_view Host(const PatternEntry& e) const { return Text(e).substr(0, e.hostLength); }
    std::optional<std::string_view> Path(const PatternEntry& e) const {
        if (!e.hasPath()) return std::nullopt;
        const std::string_view t = Text(e);
        return t.substr(e.hasPort ? t.find('/', e.hostLength) : e.hostLength);
    }
    // The port the line names; 0: every port.
    int32_t Port(const PatternEntry& e) const;
    // The 1-based line of the file `e` (one of `entries`) came from.
    int32_t LineNumber(const PatternEntry& e) const { return lines.Of(entries.size() - 1 - (&e - entries.data())); }
};

// A loaded list (never null), or why it did not load: the failure's
// lineNumber names the line refused, 0 when the file itself failed.
using ListLoadResult = Result<std::unique_ptr<PatternList>>;

// Loads a list file: the list, or why it failed (a missing file, a line that
// does not parse). Running out of memory throws std::bad_alloc
// (ListStore::Load, the loaders' one caller in the module, makes it a failure).
ListLoadResult LoadPatternListChecked(const std::string& path);

// Parses list text already in memory; `source` names it in the result.
ListLoadResult ParsePatternListText(std::string_view text, const std::string& source);

}  // namespace tamsel
