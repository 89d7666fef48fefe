// A compiled path pattern: POSIX extended syntax under the GNU rules, without
// regard to case (A to Z only), anchored at the start of the path only.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "patterns/path_shortcut.h"

namespace tamsel {

class PathRegex {
public:
    // Compiles "^(path)". On failure (a path that PathSyntaxFault refuses)
    // returns null and, if `error` is given, says why.
    static std::unique_ptr<PathRegex> Compile(std::string_view path, std::string* error = nullptr);

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

// "^(" + path + ")", with every repetition operator that has nothing before it
// (at the start, after "(", "|" or an anchor) dropped, as the GNU rules
// ignore it.
std::string AnchoredExpression(std::string_view path);

// The glob or automaton that answers for `path`, or the reason the path is
// refused: the syntax scan's, or that it is too large for the matcher.
std::optional<std::string> PathProgram(std::string_view path, PathShortcut* shortcut);

}  // namespace tamsel
