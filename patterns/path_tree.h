// A list path as a syntax tree: the one reading of path syntax. Whether a
// path is refused and why, the text every match holds, the glob, the
// automaton and the expression a regex engine is given are all derived from
// what ParsePath reads.
//
// The path is read as the expression "^(" + path + ")", under the GNU rules
// for extended expressions without regard to case, in the C locale: bytes are
// bytes, only A to Z fold. Each leaf that matches a character holds the set of
// lower-cased path bytes it accepts, so the matcher never consults the locale
// of the program it runs in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace tamsel {

// A set of bytes, one bit each.
struct ByteSet {
    std::array<uint64_t, 4> words{};

    void Add(unsigned char c) { words[c >> 6] |= uint64_t{1} << (c & 63); }
    bool Has(unsigned char c) const { return ((words[c >> 6] >> (c & 63)) & 1) != 0; }
    bool operator==(const ByteSet&) const = default;
};

// The conditions that match a place between bytes instead of a byte.
enum class PathAssertion : uint8_t {
    LineStart,    // "^": the path's start, or just after a line feed
    TextStart,    // "\`": the path's start
    LineEnd,      // "$": the path's end (and, to go on matching, a line feed next)
    TextEnd,      // "\'": the path's end
    WordStart,    // "\<"
    WordEnd,      // "\>"
    WordEdge,     // "\b"
    NotWordEdge,  // "\B"
};
inline constexpr int kPathAssertions = 8;

struct PathNode {
    enum class Kind : uint8_t { Empty, Bytes, Assertion, Sequence, Either, Repeat };
    Kind kind = Kind::Empty;
    PathAssertion assertion = PathAssertion::LineStart;
    int min = 0;                // Repeat: the least count
    int max = 0;                // Repeat: the most, or -1 for no bound
    char op = 0;                // Repeat: the operator as written ("*", "+", "?" or "{")
    int literal = -1;           // Bytes: the printable ASCII character written for itself, plain or escaped
    ByteSet bytes;              // Bytes: the lower-cased bytes it accepts
    std::vector<int> children;  // Sequence and Either: the parts; Repeat: the one repeated
};

struct PathTree {
    std::vector<PathNode> nodes;
    int root = 0;
    // Whether a match is tried at every byte of the path and not only at its
    // start: true when an alternative outside all groups (the path
    // closed the anchoring group early) leaves some branch without the "^".
    bool searches = false;

    const PathNode& node(int index) const { return nodes[index]; }
    // The node of the path itself, inside the anchoring group, when that
    // group holds the whole path (no "|" or ")" outside all groups).
    const PathNode* Body() const;
};

// Whether "." was written: no bracket expression or escape accepts every byte.
bool MatchesAnyByte(const PathNode& node);

struct ParsedPath {
    // Success when the path is accepted, else why it is refused.
    Status status;
    // "^(" + path + ")", without the repetitions that have nothing before
    // them (at the start, after "(", "|" or an anchor), which the GNU rules
    // ignore: what a regex engine is given for the path.
    std::string expression;
    // Present for every accepted path, and for one refused only for its
    // size or for what it repeats, which the tree can still hold.
    std::optional<PathTree> tree;
};

ParsedPath ParsePath(std::string_view path);

}  // namespace tamsel
