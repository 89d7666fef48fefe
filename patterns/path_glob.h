// Glob programs: the shapes of path pattern that lists are mostly made of,
// answered by plain text search instead of an automaton.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "patterns/path_tree.h"

namespace tamsel {

// A glob program is lower-cased literal text with these operators between
// the runs. It covers plain paths ("/ads/"), "contains" paths ("/*.*/ads")
// and runs joined by ".*", with escaped punctuation read as itself.
inline constexpr char kGlobAnyText = '\x01';    // ".*" (and a leading "/*.*")
inline constexpr char kGlobSeparator = '\x02';  // "([^-a-z0-9_.%]|$)": one separator byte, or the end
inline constexpr char kGlobEnd = '\x03';        // "$" closing the pattern

// The glob program for a path's tree, when it has one of the shapes a glob holds.
std::optional<std::string> GlobProgram(const PathTree& tree);

// Whether the glob `program` matches at the start of the lower-cased path.
bool GlobMatches(std::string_view program, std::string_view lowered);

}  // namespace tamsel
