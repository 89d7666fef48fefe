// A compiled path pattern: POSIX extended syntax under the GNU rules, without
// regard to case, anchored at the start of the path only.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tamsel {

class PathRegex {
public:
    // Compiles "^(path)". On failure returns null and, if `error` is given,
    // stores the engine's message there.
    static std::unique_ptr<PathRegex> Compile(std::string_view path, std::string* error = nullptr);

    ~PathRegex();
    PathRegex(const PathRegex&) = delete;
    PathRegex& operator=(const PathRegex&) = delete;

    // Safe to call from many threads at once on one object.
    bool Matches(const char* path) const;

    // The expression text handed to the engine (after the GNU clean-up).
    const std::string& expression() const { return expression_; }

private:
    struct Engine;
    PathRegex(std::string expression, std::string literal, std::unique_ptr<Engine> engine);

    std::string expression_;
    // For a path of plain characters the expression is a case-blind prefix
    // test, answered here without running the engine.
    std::string literalLower_;
    std::unique_ptr<Engine> engine_;
};

// "^(" + path + ")", with every repetition operator that has nothing before it
// (at the start, after "(" or "|") dropped, as the GNU rules ignore it.
std::string AnchoredExpression(std::string_view path);

}  // namespace tamsel
