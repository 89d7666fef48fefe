// What can be told about a path pattern without running the regex engine.
//
// Most list paths are plain text ("/ads/") or "contains" rules
// ("/*.*/adserver"), and nearly every other one names some text that any
// matching path must hold. Answering those from the text alone keeps the
// engine off the hot path for the great majority of requests.
#pragma once

#include <string>
#include <string_view>

namespace tamsel {

struct PathShortcut {
    enum class Kind {
        Engine,    // only the engine can answer
        Prefix,    // matches exactly the paths that begin with `literal`
        Contains,  // matches exactly the paths that contain `literal`
    };
    Kind kind = Kind::Engine;
    std::string literal;   // lower-cased; for Prefix and Contains
    std::string required;  // lower-cased text every matching path contains; empty when none is known
};

// `path` as the engine compiles it, inside "^(" and ")".
PathShortcut AnalysePath(std::string_view path);

// Index just past the bracket expression ("[...]") that opens at `i`.
size_t SkipBracketExpression(std::string_view s, size_t i);

}  // namespace tamsel
