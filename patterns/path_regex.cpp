#include "patterns/path_regex.h"

#include <regex.h>

#include <cstring>

#include "patterns/path_syntax.h"
#include "patterns/text.h"


namespace tamsel {

struct PathRegex::Engine {
    regex_t re{};
    ~Engine() { regfree(&re); }
};

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

PathRegex::PathRegex(std::string expression, std::unique_ptr<Engine> engine)
    : expression_(std::move(expression)),
      shortcut_(AnalysePath(std::string_view(expression_).substr(2, expression_.size() - 3))),
      engine_(std::move(engine)) {}

PathRegex::~PathRegex() = default;

std::unique_ptr<PathRegex> PathRegex::Compile(std::string_view path, std::string* error) {
    std::string expression = AnchoredExpression(path);
    if (auto fault = PathSyntaxFault(expression)) {
        if (error != nullptr) *error = std::move(*fault);
        return nullptr;
    }
    auto engine = std::make_unique<Engine>();
    const int rc = regcomp(&engine->re, expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB);
    if (rc != 0) {
        if (error != nullptr) {
            char message[256];
            regerror(rc, &engine->re, message, sizeof message);
            *error = message;
        }
        // glibc and gnulib keep the case table of a failed compile until
        // regfree, which the engine's destructor calls.
        return nullptr;
    }
    return std::unique_ptr<PathRegex>(new PathRegex(std::move(expression), std::move(engine)));
}

bool PathRegex::Matches(const char* path) const {
    std::string lowered(path);
    LowerAscii(lowered);
    return Matches(path, lowered);
}

bool PathRegex::Matches(std::string_view path, std::string_view lowered) const {
    // Outside ASCII, what "." and case folding mean depends on the locale.
    if (shortcut_.kind != PathShortcut::Kind::Engine && IsAsciiText(lowered)) {
        return ShortcutMatches(shortcut_.kind, shortcut_.program, shortcut_.required, lowered);
    }
    if (lowered.find(shortcut_.required) == std::string_view::npos) return false;
    // The path is a view into the request, with no NUL after it, and the
    // engine reads up to a NUL: it is given a copy that ends where the path
    // does. (The engine allocates as it runs anyway.)
    const std::string terminated(path);
    return regexec(&engine_->re, terminated.c_str(), 0, nullptr, 0) == 0;
}

}  // namespace tamsel
