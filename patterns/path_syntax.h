// What a list path may ask of the matcher.
//
// A path becomes a position automaton with one position per matched element
// of the pattern, once per copy its counts make; the masks that run it hold
// kMaxExpandedSize positions. A path that repeats a repetition or something
// that can match nothing adds nothing a list needs and, under the GNU rules,
// means things no two readers agree on. Lists are loaded inside every
// program under the module, so this scan, run on every path before anything
// is built, is the one judge of whether a path is accepted: every
// expression it accepts is one the regex engine of the tests compiles, and
// one the automaton holds.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

inline constexpr size_t kMaxExpressionLength = 1024;
inline constexpr int kMaxRepeatCount = 255;   // the portable bound of an interval count
inline constexpr int kMaxGroupDepth = 16;     // "(" inside "(", the anchoring group included
// Atoms of the expression, each counted once for every copy a count makes of
// it: "(.*x){1,255}" is 510. Each is a position of the automaton, at most.
inline constexpr long kMaxExpandedSize = 512;

bool IsRepetitionOperator(char c);  // "*", "+", "?" or the "{" of an interval

// After a backslash: the escapes that match a position, not a character.
bool IsAnchorEscape(char c);

// Scans `expression` as AnchoredExpression gives it ("^(" + path + ")", with
// repetitions that have nothing before them dropped). Returns why the path is
// refused, or nothing when it may be compiled.
std::optional<std::string> PathSyntaxFault(std::string_view expression);

}  // namespace tamsel
