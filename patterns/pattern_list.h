// List files ("BlockList.txt", "UserBlock.txt", "UserTrust.txt") and their loader.
//
// One pattern per line: host[:port][/path], "#" starts a comment, white space
// is removed wherever it stands, and a leading "~" makes an exception line.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "patterns/host_index.h"
#include "patterns/host_labels.h"
#include "patterns/path_regex.h"

namespace tamsel {

inline constexpr size_t kMaxPieceLength = 511;  // longer lines fall into pieces

struct PatternEntry {
    std::string text;                     // cleaned line, without the "~"
    std::string host;                     // possibly empty: every host
    HostLabels labels;
    std::optional<std::string> path;      // from its "/" on; none: every path
    int32_t port = 0;                     // 0: every port
    std::unique_ptr<PathRegex> compiledPath;  // null exactly when `path` is
    int32_t positive = 1;                 // 0 for an exception line
    int32_t lineNumber = 0;               // 1-based line of the file it came from
};

struct PatternList {
    std::string source;                   // the file it was loaded from
    // Chain order: the last pattern line of the file comes first, so the line
    // nearest the end of the file decides.
    std::vector<PatternEntry> entries;
    HostIndex hostIndex;  // over `entries`, built once at load
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
ListLoadResult ParsePatternListText(const std::string& text, const std::string& source);

// Releases a list. Null is ignored.
void FreePatternList(const PatternList* list);

}  // namespace tamsel
