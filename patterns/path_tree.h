// A list path as a syntax tree: the one reading of path syntax that the
// matcher is built from.
//
// The tree reads the expression exactly as AnchoredExpression gives it
// ("^(" + path + ")"), under the GNU rules for extended expressions without
// regard to case, in the C locale: bytes are bytes, only A to Z fold. Each
// leaf that matches a character holds the set of lower-cased path bytes it
// accepts, so the matcher never consults the locale of the program it runs in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

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
    int min = 0;               // Repeat: the least count
    int max = 0;               // Repeat: the most, or -1 for no bound
    ByteSet bytes;             // Bytes: the lower-cased bytes it accepts
    std::vector<int> children; // Sequence and Either: the parts; Repeat: the one repeated
};

struct PathTree {
    std::vector<PathNode> nodes;
    int root = 0;
    // Whether a match is tried at every byte of the path and not only at its
    // start: true when an alternative outside all groups (the path
    // closed the anchoring group early) leaves some branch without the "^".
    bool searches = false;
};

// The tree of an expression PathSyntaxFault accepts; nothing for one it
// would refuse in a way the tree cannot read.
std::optional<PathTree> ParsePathTree(std::string_view expression);

}  // namespace tamsel
