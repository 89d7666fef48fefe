#include "patterns/path_shortcut.h"

#include <cstring>
#include <vector>

#include "patterns/text.h"

namespace tamsel {

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
        if (!IsEscapedLiteral(next)) {
            Flush();
        } else {
            Char(next, i + 2, depth, true);
        }
        return i + 2;
    }

    void Char(char c, size_t after, int depth, bool escaped = false) {
        const bool quantified = after < s_.size() && IsRegexQuantifier(s_[after]);
        if (depth != 0 || quantified || (!escaped && !IsRegexPlainChar(c))) {
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

}  // namespace

PathShortcut AnalysePath(std::string_view path) {
    PathShortcut out;
    if (std::optional<std::string> program = GlobProgram(path)) {
        out.kind = PathShortcut::Kind::Glob;
        out.program = std::move(*program);
    } else if (std::optional<std::string> automaton = AutomatonProgram(path)) {
        out.kind = PathShortcut::Kind::Automaton;
        out.program = std::move(*automaton);
    }
    out.required = RequiredText(path).Longest();
    return out;
}

bool ShortcutMatches(PathShortcut::Kind kind, std::string_view program, std::string_view required,
                     std::string_view lowered) {
    if (kind == PathShortcut::Kind::Glob) return GlobMatches(program, lowered);
    if (kind != PathShortcut::Kind::Automaton) return false;
    // The automaton steps through the path byte by byte; a search for the
    // text it requires rules most paths out sooner.
    return lowered.find(required) != std::string_view::npos && AutomatonMatches(program, lowered);
}

}  // namespace tamsel
