// A compiled path pattern: POSIX extended syntax under the GNU rules, without
// regard to case (A to Z only), anchored at the start of the path only.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "patterns/path_shortcut.h"

namespace tamsel {

class PathRegex {
public:
    // Compiles "^(path)", or says why the path is refused: ParsePath refuses
    // it, or it is too large for the matcher.
    static Result<PathRegex> Compile(std::string_view path);

    // Safe to call from many threads at once on one object. The path ends
    // at its first NUL, if any.
    bool Matches(const char* path) const;

    // The expression the pattern stands for (after the GNU clean-up).
    const std::string& expression() const { return expression_; }

private:
    PathRegex(std::string expression, PathShortcut shortcut);

    std::string expression_;
    PathShortcut shortcut_;
};

// The expression a regex engine is given for `path` (see ParsedPath).
std::string AnchoredExpression(std::string_view path);

// The glob or automaton that answers for `path`, or the reason the path is
// refused: the parse's, or that it is too large for the matcher. The path is
// read once; `expression`, when given, receives its expression.
Result<PathShortcut> PathProgram(std::string_view path, std::string* expression = nullptr);

}  // namespace tamsel
