// How a path pattern is matched: by a glob or by an automaton, never by a
// regex engine.
//
// Most list paths are plain text ("/ads/"), "contains" rules
// ("/*.*/adserver") or runs of text joined by ".*": a glob answers those by
// text search. Every other path the syntax scan accepts becomes an
// automaton. Both compare bytes, with only A to Z folded, so the answer is
// the same in every program whatever its locale. Nearly every pattern also
// names some text that any matching path must hold, which rules most paths
// out before the automaton runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

constexpr bool IsRegexQuantifier(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// A printable ASCII character that stands for itself outside brackets, as
// globs and the required text take it.
constexpr bool IsRegexPlainChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7f && std::string_view(".[]()*+?{}|^$\\").find(c) == std::string_view::npos;
}

struct PathShortcut {
    enum class Kind {
        None,       // no program: the path is too large for the matcher
        Glob,       // `program` is a glob program (see GlobMatches)
        Automaton,  // `program` is an automaton program (see AutomatonMatches)
    };
    Kind kind = Kind::None;
    std::string program;   // for Glob: see GlobMatches
    std::string required;  // lower-cased text every matching path contains; empty when none is known
};

// A glob program is lower-cased literal text with these operators between
// the runs. It covers plain paths ("/ads/"), "contains" paths ("/*.*/ads")
// and runs joined by ".*", with escaped punctuation read as itself.
inline constexpr char kGlobAnyText = '\x01';    // ".*" (and a leading "/*.*")
inline constexpr char kGlobSeparator = '\x02';  // "([^-a-z0-9_.%]|$)": one separator byte, or the end
inline constexpr char kGlobEnd = '\x03';        // "$" closing the pattern

// Whether the glob `program` matches at the start of the lower-cased path.
bool GlobMatches(std::string_view program, std::string_view lowered);

// The glob program for a path, when it has one of the shapes a glob holds.
std::optional<std::string> GlobProgram(std::string_view path);

// Automaton programs cover every path the syntax scan accepts: bracket
// expressions, classes, repetitions and counts, groups and alternatives,
// "^", "$" and the word and text anchors. A path matches when one of its
// prefixes is in the pattern's language (or, when the path closes the
// anchoring group early, a part starting anywhere); the program is the
// pattern's position automaton, run over the path once, so its time is
// linear in the path and its memory fixed. Nothing for a path of more than
// kMaxExpandedSize matched elements, which the scan refuses.
std::optional<std::string> AutomatonProgram(std::string_view path);

// Whether the automaton `program` matches at the start of the lower-cased path.
bool AutomatonMatches(std::string_view program, std::string_view lowered);

// Whether `program` is one AutomatonMatches can run: every offset it holds
// within it (for programs read back from a snapshot).
bool AutomatonProgramValid(std::string_view program);

// Whether a Glob or Automaton program, whose matches all hold `required`,
// matches the lower-cased path (which ends at its first NUL, if any).
bool ShortcutMatches(PathShortcut::Kind kind, std::string_view program, std::string_view required,
                     std::string_view lowered);

// "\." and its like: punctuation escaped stands for itself; escaped letters
// and digits are classes or back-references, and "\<", "\>", "\`" and "\'" anchors.
constexpr bool IsEscapedLiteral(char c) {
    const auto u = static_cast<unsigned char>(c);
    const bool alnum = (u >= '0' && u <= '9') || ((u | 32) >= 'a' && (u | 32) <= 'z');
    return u >= 0x20 && u < 0x7f && !alnum && std::string_view("<>`'").find(c) == std::string_view::npos;
}

// `path` as AnchoredExpression gives it, inside "^(" and ")".
PathShortcut AnalysePath(std::string_view path);

// Index just past the bracket expression ("[...]") that opens at `i`.
size_t SkipBracketExpression(std::string_view s, size_t i);

}  // namespace tamsel
