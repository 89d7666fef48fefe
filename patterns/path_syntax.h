// What a list path may ask of the matcher.
//
// A path becomes a position automaton with one position per matched element
// of the pattern, once per copy its counts make; the masks that run it hold
// kMaxExpandedSize positions. Lists are loaded inside every program under the
// module, so ParsePath (patterns/path_tree.h), run on every path before
// anything is built, judges each path against these bounds: every expression
// it accepts is one the regex engine of the tests compiles, and one the
// automaton holds.
#pragma once

#include <cstddef>

namespace tamsel {

inline constexpr size_t kMaxExpressionLength = 1024;
inline constexpr int kMaxRepeatCount = 255;  // the portable bound of an interval count
inline constexpr int kMaxGroupDepth = 16;    // "(" inside "(", the anchoring group included
// Atoms of the expression, each counted once for every copy a count makes of
// it: "(.*x){1,255}" is 510. Each is a position of the automaton, at most.
inline constexpr long kMaxExpandedSize = 512;

}  // namespace tamsel
