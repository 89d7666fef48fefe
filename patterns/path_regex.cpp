#include "patterns/path_regex.h"

#include <regex.h>

#include <cstring>

#include "patterns/text.h"

namespace tamsel {

struct PathRegex::Engine {
    regex_t re{};
    ~Engine() { regfree(&re); }
};

namespace {

bool IsRepetition(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// Length of the bracket expression that starts at `i` ("[" included), so it
// is copied untouched: "(" or "*" inside brackets are plain characters.
size_t BracketLength(std::string_view s, size_t i) {
    size_t j = i + 1;
    if (j < s.size() && s[j] == '^') ++j;
    if (j < s.size() && s[j] == ']') ++j;
    while (j < s.size() && s[j] != ']') {
        if (s[j] == '[' && j + 1 < s.size() && std::strchr(":.=", s[j + 1]) != nullptr) {
            const char close[3] = {s[j + 1], ']', '\0'};
            const size_t end = s.find(close, j + 2);
            if (end == std::string_view::npos) return s.size() - i;
            j = end + 2;
        } else {
            ++j;
        }
    }
    return (j < s.size() ? j + 1 : s.size()) - i;
}

// A path of characters that are literal in an extended expression matches
// exactly the paths that begin with it.
bool IsPlainLiteral(std::string_view path) {
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7f || std::strchr(".[]()*+?{}|^$\\", c) != nullptr) return false;
    }
    return true;
}

}  // namespace

std::string AnchoredExpression(std::string_view path) {
    std::string out = "^(";
    out.reserve(path.size() + 3);
    bool branchStart = true;  // the "(" above opens the first branch
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (branchStart && IsRepetition(c)) continue;
        if (c == '\\' && i + 1 < path.size()) {
            out.append(path.substr(i, 2));
            ++i;
            branchStart = false;
        } else if (c == '[') {
            const size_t n = BracketLength(path, i);
            out.append(path.substr(i, n));
            i += n - 1;
            branchStart = false;
        } else {
            out.push_back(c);
            branchStart = c == '(' || c == '|' || c == '^';
        }
    }
    out.push_back(')');
    return out;
}

PathRegex::PathRegex(std::string expression, std::string literal, std::unique_ptr<Engine> engine)
    : expression_(std::move(expression)), literalLower_(std::move(literal)), engine_(std::move(engine)) {}

PathRegex::~PathRegex() = default;

std::unique_ptr<PathRegex> PathRegex::Compile(std::string_view path, std::string* error) {
    std::string expression = AnchoredExpression(path);
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
    std::string literal;
    if (IsPlainLiteral(path)) {
        literal.assign(path);
        LowerAscii(literal);
    }
    return std::unique_ptr<PathRegex>(new PathRegex(std::move(expression), std::move(literal), std::move(engine)));
}

bool PathRegex::Matches(const char* path) const {
    if (!literalLower_.empty()) {
        for (size_t i = 0; i < literalLower_.size(); ++i) {
            if (path[i] == '\0' || AsciiLower(path[i]) != literalLower_[i]) return false;
        }
        return true;
    }
    return regexec(&engine_->re, path, 0, nullptr, 0) == 0;
}

}  // namespace tamsel
