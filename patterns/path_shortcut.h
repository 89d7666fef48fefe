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

// `path` as the engine compiles it, inside "^(" and ")".
PathShortcut AnalysePath(std::string_view path);

// Index just past the bracket expression ("[...]") that opens at `i`.
size_t SkipBracketExpression(std::string_view s, size_t i);

}  // namespace tamsel
