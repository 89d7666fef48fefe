// How a path pattern is matched: by a glob or by an automaton, never by a
// regex engine.
//
// Most list paths are plain text ("/ads/"), "contains" rules
// ("/*.*/adserver") or runs of text joined by ".*": a glob answers those by
// text search. Every other path the parse accepts becomes an automaton. Both
// compare bytes, with only A to Z folded, so the answer is the same in every
// program whatever its locale. Nearly every pattern also names some text that
// any matching path must hold, which rules most paths out before the
// automaton runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"
#include "patterns/path_automaton.h"
#include "patterns/path_glob.h"
#include "patterns/path_tree.h"

namespace tamsel {

struct PathShortcut {
    enum class Kind {
        None,       // no program: the path is refused
        Glob,       // `program` is a glob program (see GlobMatches)
        Automaton,  // `program` is an automaton program (see AutomatonMatches)
    };
    Kind kind = Kind::None;
    std::string program;   // for Glob: see GlobMatches
    std::string required;  // lower-cased text every matching path contains; empty when none is known
    // For an automaton: the runs of lower-cased text every match holds one
    // after another, without overlap, each behind a byte giving its length
    // (the required text is one of them). Empty for a glob, which searches
    // for its text itself.
    std::string runs;
};

// The glob, or else the automaton, of a path's tree, and its required text;
// a failure when the tree is too large for an automaton.
Result<PathShortcut> ShortcutOf(const PathTree& tree);

// The glob or automaton that answers for `path` as written, or the reason
// the path is refused: the parse's, or that it is too large for the matcher.
Result<PathShortcut> PathProgram(std::string_view path);

// Whether a Glob or Automaton program, whose matches all hold `runs` in
// order, matches the lower-cased path (which ends at its first NUL, if any).
bool ShortcutMatches(PathShortcut::Kind kind, std::string_view program, std::string_view runs,
                     std::string_view lowered);

// Whether `runs` is made of whole runs, each behind its length byte (for
// runs read back from a snapshot).
bool ShortcutRunsValid(std::string_view runs);

}  // namespace tamsel
