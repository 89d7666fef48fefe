#include "patterns/path_shortcut.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "patterns/text.h"

namespace tamsel {

namespace {

// The runs of characters that every match holds in a row, in the order
// they come: the characters written for themselves, side by side in the
// path outside all groups. Anything optional, repeated, grouped or
// alternated ends a run; an alternation outside all groups means no text is
// certain at all.
std::vector<std::string> LiteralRuns(const PathTree& tree) {
    const PathNode* body = tree.Body();
    if (body == nullptr || body->kind != PathNode::Kind::Sequence) return {};
    std::vector<std::string> runs(1);
    for (const int index : body->children) {
        const PathNode& node = tree.node(index);
        if (node.kind == PathNode::Kind::Bytes && node.literal >= 0) {
            runs.back().push_back(AsciiLower(static_cast<char>(node.literal)));
        } else if (!runs.back().empty()) {
            runs.emplace_back();
        }
    }
    if (runs.back().empty()) runs.pop_back();
    return runs;
}

// The runs behind their length bytes; a run too long for its byte keeps
// its start, which every match holds as well.
std::string EncodeRuns(const std::vector<std::string>& runs) {
    std::string out;
    for (const std::string& run : runs) {
        const size_t length = std::min<size_t>(run.size(), UINT8_MAX);
        out.push_back(static_cast<char>(length));
        out.append(run, 0, length);
    }
    return out;
}

// Whether the path holds each run after the end of the one before.
bool HoldsRunsInOrder(std::string_view runs, std::string_view lowered) {
    size_t from = 0;
    for (size_t i = 0; i < runs.size();) {
        const size_t length = static_cast<unsigned char>(runs[i]);
        const size_t at = lowered.find(runs.substr(i + 1, length), from);
        if (at == std::string_view::npos) return false;
        from = at + length;
        i += 1 + length;
    }
    return true;
}

}  // namespace

Result<PathShortcut> ShortcutOf(const PathTree& tree) {
    PathShortcut out;
    if (std::optional<std::string> program = GlobProgram(tree)) {
        out.kind = PathShortcut::Kind::Glob;
        out.program = std::move(*program);
    } else {
        Result<std::string> automaton = AutomatonProgram(tree);
        if (!automaton) return automaton.failure();
        out.kind = PathShortcut::Kind::Automaton;
        out.program = std::move(*automaton);
    }
    const std::vector<std::string> runs = LiteralRuns(tree);
    for (const std::string& run : runs) {
        if (run.size() > out.required.size()) out.required = run;
    }
    if (out.kind == PathShortcut::Kind::Automaton) out.runs = EncodeRuns(runs);
    return out;
}

Result<PathShortcut> PathProgram(std::string_view path) {
    const ParsedPath parsed = ParsePath(path);
    if (!parsed.status.ok()) return Failure{parsed.status.message()};
    return ShortcutOf(*parsed.tree);
}

bool ShortcutMatches(PathShortcut::Kind kind, std::string_view program, std::string_view runs,
                     std::string_view lowered) {
    if (kind == PathShortcut::Kind::Glob) return GlobMatches(program, lowered);
    if (kind != PathShortcut::Kind::Automaton) return false;
    // The automaton steps through the path byte by byte, with a few words of
    // work for each; a search for the texts it requires, in their order,
    // rules most paths out far sooner.
    return HoldsRunsInOrder(runs, lowered) && AutomatonMatches(program, lowered);
}

bool ShortcutRunsValid(std::string_view runs) {
    size_t i = 0;
    while (i < runs.size()) i += 1 + static_cast<unsigned char>(runs[i]);
    return i == runs.size();
}

}  // namespace tamsel
