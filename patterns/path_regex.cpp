#include "patterns/path_regex.h"

#include "patterns/path_tree.h"
#include "patterns/text.h"

namespace tamsel {

std::string AnchoredExpression(std::string_view path) { return ParsePath(path).expression; }

std::optional<std::string> PathProgram(std::string_view path, PathShortcut* shortcut, std::string* expression) {
    ParsedPath parsed = ParsePath(path);
    if (expression != nullptr) *expression = std::move(parsed.expression);
    if (parsed.fault) return parsed.fault;
    *shortcut = ShortcutOf(*parsed.tree);
    if (shortcut->kind == PathShortcut::Kind::None) return "too many elements to match";
    return std::nullopt;
}

PathRegex::PathRegex(std::string expression, PathShortcut shortcut)
    : expression_(std::move(expression)), shortcut_(std::move(shortcut)) {}

std::unique_ptr<PathRegex> PathRegex::Compile(std::string_view path, std::string* error) {
    PathShortcut shortcut;
    std::string expression;
    if (auto fault = PathProgram(path, &shortcut, &expression)) {
        if (error != nullptr) *error = std::move(*fault);
        return nullptr;
    }
    return std::unique_ptr<PathRegex>(new PathRegex(std::move(expression), std::move(shortcut)));
}

bool PathRegex::Matches(const char* path) const {
    std::string lowered(path);
    LowerAscii(lowered);
    return ShortcutMatches(shortcut_.kind, shortcut_.program, shortcut_.required, lowered);
}

}  // namespace tamsel
