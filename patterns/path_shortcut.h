// What can be told about a path pattern without running the regex engine.
//
// Most list paths are plain text ("/ads/"), "contains" rules
// ("/*.*/adserver") or runs of text joined by ".*", and nearly every other
// one names some text that any matching path must hold. Answering those from the text alone keeps the
// engine off the hot path for the great majority of requests.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

constexpr bool IsRegexQuantifier(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// A printable ASCII character that stands for itself outside brackets. Bytes
// of the upper half are left to the engine: their case folding depends on
// the locale.
constexpr bool IsRegexPlainChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7f && std::string_view(".[]()*+?{}|^$\\").find(c) == std::string_view::npos;
}

struct PathShortcut {
    enum class Kind {
        Engine,  // only the engine can answer
        Glob,    // `program` answers exactly as the engine would, for a path of ASCII bytes
        Automaton,  // the same, with an automaton program (see AutomatonMatches)
    };
    Kind kind = Kind::Engine;
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

// Automaton programs cover what globs do not among the shapes lists use:
// bracket expressions of plain characters ("[-_]", "[/._-]"), optional and
// repeated elements ("ads?", "/*"), groups with alternatives
// ("(js|php)", "(\?.*)?$") and "$", up to 64 matched elements. The engine
// is anchored at the path's start, so a path matches when one of its
// prefixes is in the pattern's language; the program is the pattern's
// position automaton, run over the path once, so its time is linear.
std::optional<std::string> AutomatonProgram(std::string_view path);

// Whether the automaton `program` matches at the start of the lower-cased path.
bool AutomatonMatches(std::string_view program, std::string_view lowered);

// Whether `program` is one AutomatonMatches can run: every offset it holds
// within it (for programs read back from a snapshot).
bool AutomatonProgramValid(std::string_view program);

// Whether a Glob or Automaton program, whose matches all hold `required`,
// matches at the start of the lower-cased path, a path of ASCII bytes.
bool ShortcutMatches(PathShortcut::Kind kind, std::string_view program, std::string_view required,
                     std::string_view lowered);

// "\." and its like: punctuation escaped stands for itself; escaped letters
// and digits are classes or back-references, and "\<", "\>", "\`" and "\'" anchors.
constexpr bool IsEscapedLiteral(char c) {
    const auto u = static_cast<unsigned char>(c);
    const bool alnum = (u >= '0' && u <= '9') || ((u | 32) >= 'a' && (u | 32) <= 'z');
    return u >= 0x20 && u < 0x7f && !alnum && std::string_view("<>`'").find(c) == std::string_view::npos;
}

// `path` as the engine compiles it, inside "^(" and ")".
PathShortcut AnalysePath(std::string_view path);

// Index just past the bracket expression ("[...]") that opens at `i`.
size_t SkipBracketExpression(std::string_view s, size_t i);

}  // namespace tamsel
