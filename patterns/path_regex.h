// A compiled path pattern: POSIX extended syntax under the GNU rules, without
// regard to case, anchored at the start of the path only.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "patterns/path_shortcut.h"

namespace tamsel {

class PathRegex {
public:
    // Compiles "^(path)". On failure (a path that PathSyntaxFault or the
    // engine refuses) returns null and, if `error` is given, says why.
    static std::unique_ptr<PathRegex> Compile(std::string_view path, std::string* error = nullptr);

    ~PathRegex();
    PathRegex(const PathRegex&) = delete;
    PathRegex& operator=(const PathRegex&) = delete;

    // Safe to call from many threads at once on one object.
    bool Matches(const char* path) const;
    // The same, for a caller that asks many patterns about one path and has
    // lower-cased it (A to Z) once: `lowered` is that copy of `path`.
    bool Matches(std::string_view path, std::string_view lowered) const;

    // The expression text handed to the engine (after the GNU clean-up).
    const std::string& expression() const { return expression_; }

private:
    struct Engine;
    PathRegex(std::string expression, std::unique_ptr<Engine> engine);

    std::string expression_;
    PathShortcut shortcut_;  // answers most paths without the engine
    std::unique_ptr<Engine> engine_;
};

// "^(" + path + ")", with every repetition operator that has nothing before it
// (at the start, after "(", "|" or an anchor) dropped, as the GNU rules
// ignore it.
std::string AnchoredExpression(std::string_view path);

}  // namespace tamsel
