// Automaton programs cover every path the parse accepts: bracket
// expressions, classes, repetitions and counts, groups and alternatives,
// "^", "$" and the word and text anchors. A path matches when one of its
// prefixes is in the pattern's language (or, when the path closes the
// anchoring group early, a part starting anywhere); the program is the
// pattern's position automaton, run over the path once, so its time is
// linear in the path and its memory fixed.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "patterns/path_tree.h"

namespace tamsel {

// The program of a path's tree, or a failure for a tree of more matched
// elements than the program's masks hold (kMaxPositions).
Result<std::string> AutomatonProgram(const PathTree& tree);

// Whether the automaton `program` matches at the start of the lower-cased path.
bool AutomatonMatches(std::string_view program, std::string_view lowered);

// Whether `program` is one AutomatonMatches can run: every offset it holds
// within it (for programs read back from a snapshot).
bool AutomatonProgramValid(std::string_view program);

}  // namespace tamsel
