#include "patterns/path_regex.h"

#include "patterns/path_syntax.h"
#include "patterns/text.h"

namespace tamsel {

std::string AnchoredExpression(std::string_view path) {
    std::string out = "^(";
    out.reserve(path.size() + 3);
    bool branchStart = true;  // the "(" above opens the first branch
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (branchStart && IsRepetitionOperator(c)) continue;
        if (c == '\\' && i + 1 < path.size()) {
            const char next = path[i + 1];
            out.append(path.substr(i, 2));
            ++i;
            branchStart = IsAnchorEscape(next);
        } else if (c == '[') {
            const size_t n = SkipBracketExpression(path, i) - i;
            out.append(path.substr(i, n));
            i += n - 1;
            branchStart = false;
        } else {
            out.push_back(c);
            branchStart = c == '(' || c == '|' || c == '^' || c == '$';
        }
    }
    out.push_back(')');
    return out;
}

std::optional<std::string> PathProgram(std::string_view path, PathShortcut* shortcut) {
    const std::string expression = AnchoredExpression(path);
    if (auto fault = PathSyntaxFault(expression)) return fault;
    *shortcut = AnalysePath(std::string_view(expression).substr(2, expression.size() - 3));
    if (shortcut->kind == PathShortcut::Kind::None) return "too many elements to match";
    return std::nullopt;
}

PathRegex::PathRegex(std::string expression, PathShortcut shortcut)
    : expression_(std::move(expression)), shortcut_(std::move(shortcut)) {}

std::unique_ptr<PathRegex> PathRegex::Compile(std::string_view path, std::string* error) {
    PathShortcut shortcut;
    if (auto fault = PathProgram(path, &shortcut)) {
        if (error != nullptr) *error = std::move(*fault);
        return nullptr;
    }
    return std::unique_ptr<PathRegex>(new PathRegex(AnchoredExpression(path), std::move(shortcut)));
}

bool PathRegex::Matches(const char* path) const {
    std::string lowered(path);
    LowerAscii(lowered);
    return ShortcutMatches(shortcut_.kind, shortcut_.program, shortcut_.required, lowered);
}

}  // namespace tamsel
