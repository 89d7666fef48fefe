#include "patterns/path_shortcut.h"

#include <cstring>
#include <vector>

#include "patterns/text.h"

namespace tamsel {

namespace {

bool IsQuantifier(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }

// A printable ASCII character that stands for itself outside brackets. Bytes
// of the upper half are left to the engine: their case folding depends on
// the locale.
bool IsPlainChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7f && std::strchr(".[]()*+?{}|^$\\", c) == nullptr;
}

bool IsPlainText(std::string_view s) {
    for (const char c : s) {
        if (!IsPlainChar(c)) return false;
    }
    return true;
}

}  // namespace

size_t SkipBracketExpression(std::string_view s, size_t i) {
    size_t j = i + 1;
    if (j < s.size() && s[j] == '^') ++j;
    if (j < s.size() && s[j] == ']') ++j;
    while (j < s.size() && s[j] != ']') {
        if (s[j] == '[' && j + 1 < s.size() && std::strchr(":.=", s[j + 1]) != nullptr) {
            const char close[3] = {s[j + 1], ']', '\0'};
            const size_t end = s.find(close, j + 2);
            if (end == std::string_view::npos) return s.size();
            j = end + 2;
        } else {
            ++j;
        }
    }
    return j < s.size() ? j + 1 : s.size();
}

namespace {

// Collects the runs of characters that every match must hold in a row.
// Anything optional, repeated, grouped or alternated ends a run; an
// alternation outside all groups means no text is certain at all.
class RequiredText {
public:
    explicit RequiredText(std::string_view s) : s_(s) {}

    std::string Longest() {
        if (!Scan()) return {};
        Flush();
        std::string best;
        for (std::string& run : runs_) {
            if (run.size() > best.size()) best = std::move(run);
        }
        return best;
    }

private:
    bool Scan() {
        int depth = 0;
        for (size_t i = 0; i < s_.size();) {
            const char c = s_[i];
            if (c == '[') {
                Flush();
                i = SkipBracketExpression(s_, i);
            } else if (c == '\\') {
                i = Escape(i, depth);
            } else if (c == '(' || c == ')') {
                Flush();
                depth += c == '(' ? 1 : -1;
                if (depth < 0) return false;  // closes the anchoring group early
                ++i;
            } else if (c == '|') {
                if (depth == 0) return false;
                ++i;
            } else if (c == '{') {
                Flush();
                const size_t end = s_.find('}', i);
                if (end == std::string_view::npos) return false;
                i = end + 1;
            } else {
                Char(c, i + 1, depth);
                ++i;
            }
        }
        return depth == 0;
    }

    // "\." and the like are the character itself; "\w", "\1" and friends are
    // classes and back-references, and "\<", "\>", "\`" and "\'" anchors:
    // all of them end a run.
    size_t Escape(size_t i, int depth) {
        if (i + 1 >= s_.size()) return s_.size();
        const char next = s_[i + 1];
        const auto u = static_cast<unsigned char>(next);
        if (u < 0x20 || u >= 0x7f || (u >= '0' && u <= '9') || ((u | 32) >= 'a' && (u | 32) <= 'z') ||
            std::strchr("<>`'", next) != nullptr) {
            Flush();
        } else {
            Char(next, i + 2, depth, true);
        }
        return i + 2;
    }

    void Char(char c, size_t after, int depth, bool escaped = false) {
        const bool quantified = after < s_.size() && IsQuantifier(s_[after]);
        if (depth != 0 || quantified || (!escaped && !IsPlainChar(c))) {
            Flush();
            return;
        }
        current_.push_back(AsciiLower(c));
    }

    void Flush() {
        if (!current_.empty()) runs_.push_back(std::move(current_));
        current_.clear();
    }

    std::string_view s_;
    std::vector<std::string> runs_;
    std::string current_;
};

std::string Lowered(std::string_view s) {
    std::string out(s);
    LowerAscii(out);
    return out;
}

}  // namespace

PathShortcut AnalysePath(std::string_view path) {
    PathShortcut out;
    if (IsPlainText(path)) {
        out.kind = PathShortcut::Kind::Prefix;
        out.literal = Lowered(path);
        out.required = out.literal;
        return out;
    }
    // "/*" takes any leading slashes and ".*" any text: what follows may
    // stand anywhere in the path.
    constexpr std::string_view kAnywhere = "/*.*";
    if (path.substr(0, kAnywhere.size()) == kAnywhere && !path.substr(kAnywhere.size()).empty() &&
        IsPlainText(path.substr(kAnywhere.size()))) {
        out.kind = PathShortcut::Kind::Contains;
        out.literal = Lowered(path.substr(kAnywhere.size()));
        out.required = out.literal;
        return out;
    }
    out.required = RequiredText(path).Longest();
    return out;
}

}  // namespace tamsel
