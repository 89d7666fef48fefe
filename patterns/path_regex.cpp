#include "patterns/path_regex.h"

#include "patterns/path_tree.h"
#include "patterns/text.h"

namespace tamsel {

std::string AnchoredExpression(std::string_view path) { return ParsePath(path).expression; }

Result<PathShortcut> PathProgram(std::string_view path, std::string* expression) {
    ParsedPath parsed = ParsePath(path);
    if (expression != nullptr) *expression = std::move(parsed.expression);
    if (!parsed.status.ok()) return Failure{parsed.status.message()};
    return ShortcutOf(*parsed.tree);
}

PathRegex::PathRegex(std::string expression, PathShortcut shortcut)
    : expression_(std::move(expression)), shortcut_(std::move(shortcut)) {}

Result<PathRegex> PathRegex::Compile(std::string_view path) {
    std::string expression;
    Result<PathShortcut> shortcut = PathProgram(path, &expression);
    if (!shortcut) return shortcut.failure();
    return PathRegex(std::move(expression), std::move(*shortcut));
}

bool PathRegex::Matches(const char* path) const {
    std::string lowered(path);
    LowerAscii(lowered);
    return ShortcutMatches(shortcut_.kind, shortcut_.program, shortcut_.runs, lowered);
}

}  // namespace tamsel
