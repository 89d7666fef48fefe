// Glob programs: the shapes of path pattern that lists are mostly made of,
// answered by plain text search instead of an automaton.
#include "patterns/path_glob.h"

#include "patterns/text.h"

namespace tamsel {

namespace {

// The byte of the path a separator stands for: anything but a letter, a
// digit or one of "-_.%" (the path is lower-cased already).
bool IsSeparatorByte(char c) {
    return !((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '%');
}

bool IsOperator(char c) { return c == kGlobAnyText || c == kGlobSeparator || c == kGlobEnd; }

// The reading of "[^-a-z0-9_.%]" without regard to case.
ByteSet SeparatorBytes() {
    ByteSet set;
    for (int c = 0; c < 256; ++c) {
        if (IsSeparatorByte(AsciiLower(static_cast<char>(c)))) set.Add(static_cast<unsigned char>(c));
    }
    return set;
}

// Whether `index` is "x*" for an `x` that `is` accepts.
template <typename Is>
bool IsStarOf(const PathTree& tree, int index, Is is) {
    const PathNode& node = tree.node(index);
    return node.kind == PathNode::Kind::Repeat && node.op == '*' && is(tree.node(node.children[0]));
}

bool IsAnyText(const PathTree& tree, int index) { return IsStarOf(tree, index, MatchesAnyByte); }

// A sequence of one node, which `is` accepts.
template <typename Is>
bool IsSequenceOfOne(const PathTree& tree, int index, Is is) {
    const PathNode& node = tree.node(index);
    return node.kind == PathNode::Kind::Sequence && node.children.size() == 1 && is(tree.node(node.children[0]));
}

bool IsLineEnd(const PathNode& node) {
    return node.kind == PathNode::Kind::Assertion && node.assertion == PathAssertion::LineEnd;
}

// "([^-a-z0-9_.%]|$)": one separator byte, or the end.
bool IsSeparator(const PathTree& tree, int index) {
    static const ByteSet separators = SeparatorBytes();
    const PathNode& node = tree.node(index);
    const auto isSeparatorSet = [](const PathNode& n) {
        return n.kind == PathNode::Kind::Bytes && n.bytes == separators;
    };
    return node.kind == PathNode::Kind::Either && node.children.size() == 2 &&
           IsSequenceOfOne(tree, node.children[0], isSeparatorSet) &&
           IsSequenceOfOne(tree, node.children[1], IsLineEnd);
}

// Appends the part `index` of the path to `program`; false when it is not
// one a glob can hold. `last`: it ends the path.
bool AppendPart(const PathTree& tree, int index, bool last, std::string* program) {
    const PathNode& node = tree.node(index);
    if (IsAnyText(tree, index)) {
        if (program->empty() || program->back() != kGlobAnyText) program->push_back(kGlobAnyText);
    } else if (IsSeparator(tree, index)) {
        program->push_back(kGlobSeparator);
    } else if (last && IsLineEnd(node)) {
        program->push_back(kGlobEnd);
    } else if (node.kind == PathNode::Kind::Bytes && node.literal >= 0) {
        program->push_back(AsciiLower(static_cast<char>(node.literal)));
    } else {
        return false;
    }
    return true;
}

// A separator must be followed by ".*" or nothing, and "$" must not follow
// one: then the earliest place for each run is always the right one.
bool WellPlaced(const std::string& program) {
    for (size_t i = 0; i < program.size(); ++i) {
        if (program[i] != kGlobSeparator) continue;
        if (i + 1 < program.size() && program[i + 1] != kGlobAnyText) return false;
    }
    return true;
}

// Places `run` at or after `*pos` (exactly at it when anchored), with a
// separator byte or the end after it when `separator`; moves `*pos` past it.
bool Place(std::string_view path, std::string_view run, bool separator, bool anchored, size_t* pos) {
    for (size_t at = *pos;; ++at) {
        if (anchored ? path.substr(at, run.size()) != run : (at = path.find(run, at)) == std::string_view::npos) {
            return false;
        }
        const size_t after = at + run.size();
        if (!separator || after == path.size()) {
            *pos = after;
            return true;
        }
        if (IsSeparatorByte(path[after])) {
            *pos = after + 1;
            return true;
        }
        if (anchored) return false;
    }
}

}  // namespace

std::optional<std::string> GlobProgram(const PathTree& tree) {
    const PathNode* body = tree.Body();
    if (body == nullptr || body->kind != PathNode::Kind::Sequence) return std::nullopt;
    const std::vector<int>& parts = body->children;
    std::string program;
    size_t i = 0;
    // "/*" takes any leading slashes and ".*" the rest: the two are ".*".
    const auto isSlash = [](const PathNode& n) { return n.kind == PathNode::Kind::Bytes && n.literal == '/'; };
    if (parts.size() >= 2 && IsStarOf(tree, parts[0], isSlash) && IsAnyText(tree, parts[1])) {
        program.push_back(kGlobAnyText);
        i = 2;
    }
    for (; i < parts.size(); ++i) {
        if (!AppendPart(tree, parts[i], i + 1 == parts.size(), &program)) return std::nullopt;
    }
    if (!WellPlaced(program)) return std::nullopt;
    return program;
}

bool GlobMatches(std::string_view program, std::string_view lowered) {
    size_t pos = 0;
    bool anchored = true;
    for (size_t i = 0; i < program.size();) {
        if (program[i] == kGlobAnyText) {
            anchored = false;
            ++i;
            continue;
        }
        if (program[i] == kGlobEnd) return !anchored || pos == lowered.size();
        size_t end = i;
        while (end < program.size() && !IsOperator(program[end])) ++end;
        const std::string_view run = program.substr(i, end - i);
        const bool separator = end < program.size() && program[end] == kGlobSeparator;
        if (!anchored && end < program.size() && program[end] == kGlobEnd) {
            return lowered.size() >= pos + run.size() && lowered.ends_with(run);
        }
        if (!Place(lowered, run, separator, anchored, &pos)) return false;
        anchored = true;
        i = separator ? end + 1 : end;
    }
    return true;
}

}  // namespace tamsel
