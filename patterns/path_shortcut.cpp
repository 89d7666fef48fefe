#include "patterns/path_shortcut.h"

#include "patterns/text.h"

namespace tamsel {

namespace {

// The longest run of characters that every match holds in a row: the
// characters written for themselves, side by side in the path outside all
// groups. Anything optional, repeated, grouped or alternated ends a run; an
// alternation outside all groups means no text is certain at all.
std::string RequiredText(const PathTree& tree) {
    const PathNode* body = tree.Body();
    if (body == nullptr || body->kind != PathNode::Kind::Sequence) return {};
    std::string best, run;
    for (const int index : body->children) {
        const PathNode& node = tree.node(index);
        if (node.kind == PathNode::Kind::Bytes && node.literal >= 0) {
            run.push_back(AsciiLower(static_cast<char>(node.literal)));
            continue;
        }
        if (run.size() > best.size()) best = run;
        run.clear();
    }
    return run.size() > best.size() ? run : best;
}

}  // namespace

PathShortcut ShortcutOf(const PathTree& tree) {
    PathShortcut out;
    if (std::optional<std::string> program = GlobProgram(tree)) {
        out.kind = PathShortcut::Kind::Glob;
        out.program = std::move(*program);
    } else if (std::optional<std::string> automaton = AutomatonProgram(tree)) {
        out.kind = PathShortcut::Kind::Automaton;
        out.program = std::move(*automaton);
    }
    out.required = RequiredText(tree);
    return out;
}

PathShortcut AnalysePath(std::string_view path) {
    const ParsedPath parsed = ParsePath(path);
    return parsed.tree ? ShortcutOf(*parsed.tree) : PathShortcut{};
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
