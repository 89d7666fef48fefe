// What a list path may ask of the regex engine.
//
// The engine copies a repeated subexpression once per count (and "+" once
// more), and finds the states that follow one another without input by
// recursion. A path that repeats a repetition, repeats something that can
// match nothing, or multiplies large counts makes it run for minutes, take
// gigabytes or overflow the stack. Lists are loaded inside every program under
// the module, so one such line would stall or crash them all. This scan, run
// on every path before anything is compiled, is the one judge of whether a path
// may reach the engine: every expression it accepts compiles in milliseconds
// and a few megabytes, or is refused by the engine for its bracket contents.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

inline constexpr size_t kMaxExpressionLength = 1024;
inline constexpr int kMaxRepeatCount = 255;   // the portable bound of an interval count
inline constexpr int kMaxGroupDepth = 16;     // "(" inside "(", the anchoring group included
// Atoms of the expression, each counted once for every copy the engine makes
// of it: "(.*x){1,255}" is 510. The engine's work grows with its square.
inline constexpr long kMaxExpandedSize = 512;

bool IsRepetitionOperator(char c);  // "*", "+", "?" or the "{" of an interval

// After a backslash: the escapes that match a position, not a character.
bool IsAnchorEscape(char c);

// Scans `expression` as AnchoredExpression gives it ("^(" + path + ")", with
// repetitions that have nothing before them dropped). Returns why the path is
// refused, or nothing when it may be compiled.
std::optional<std::string> PathSyntaxFault(std::string_view expression);

}  // namespace tamsel
