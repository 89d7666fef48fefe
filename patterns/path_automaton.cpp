// Automaton programs: the position automaton of a path pattern, for every
// path the syntax scan accepts. Each leaf of the pattern's tree that matches
// a byte or a place between bytes is a position, once per copy a count
// makes ("a{3}" is three); the program says which positions can come first
// and last, which can follow each one, and what each matches. The set of
// positions reached is kept as a mask of at most kMaxExpandedSize bits and
// moved over the path one byte at a time, so a match takes time linear in
// the path and no memory beyond a few masks on the stack.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "patterns/path_shortcut.h"
#include "patterns/path_syntax.h"
#include "patterns/path_tree.h"

namespace tamsel {

namespace {

constexpr size_t kMaxPositions = kMaxExpandedSize;
constexpr size_t kMaxWords = kMaxPositions / 64;

// What a position matches, two bytes each: one lower-cased byte (below
// 256), any byte, a place (kFirstAssertion + the PathAssertion), or a set
// of bytes (kFirstSet + its index).
constexpr uint16_t kAnyByte = 256;
constexpr uint16_t kFirstAssertion = 257;
constexpr uint16_t kFirstSet = 512;

// Program layout: a header of eight bytes (position count and set count,
// two bytes each, a flags byte, then three bytes naming the offsets in use),
// then masks of `words` eight-byte words each: first, last, the places, the
// positions whose follow masks are all near them, the positions that match
// any byte, and for each offset d in use the near positions followed by the
// one d places on; a follow mask per position; a match code per position;
// the sets, 32 bytes each. Near follows are moved by a shift of the mask for
// each offset, whatever the number of positions reached, so a long run of
// counted copies costs a few words per byte.
constexpr uint8_t kNullable = 1;  // matches the empty path
constexpr uint8_t kSearches = 2;  // a match may start at any byte
constexpr size_t kHeader = 8;
enum MaskIndex { kFirstMask, kLastMask, kPlaceMask, kNearMask, kAnyMask, kMasks };
constexpr int kMaxOffset = 8;  // near: within this many positions either way
constexpr uint32_t kAllOffsets = (uint32_t{1} << (2 * kMaxOffset + 1)) - 1;

using Mask = std::array<uint64_t, kMaxWords>;

template <size_t N>
void SetBit(std::array<uint64_t, N>& m, size_t p) {
    m[p >> 6] |= uint64_t{1} << (p & 63);
}
template <size_t N>
bool TestBit(const std::array<uint64_t, N>& m, size_t p) {
    return ((m[p >> 6] >> (p & 63)) & 1) != 0;
}
template <size_t N>
void OrInto(std::array<uint64_t, N>& to, const std::array<uint64_t, N>& from, size_t words) {
    for (size_t w = 0; w < words; ++w) to[w] |= from[w];
}
template <size_t N>
bool AnyCommon(const std::array<uint64_t, N>& a, const std::array<uint64_t, N>& b, size_t words) {
    for (size_t w = 0; w < words; ++w) {
        if ((a[w] & b[w]) != 0) return true;
    }
    return false;
}
template <size_t N, typename Visit>
void ForEachBit(const std::array<uint64_t, N>& m, size_t words, Visit visit) {
    for (size_t w = 0; w < words; ++w) {
        for (uint64_t bits = m[w]; bits != 0; bits &= bits - 1) visit(w * 64 + std::countr_zero(bits));
    }
}

size_t WordsFor(size_t positions) { return (positions + 63) / 64; }

size_t ProgramSize(size_t positions, size_t sets, uint32_t offsets) {
    const size_t words = WordsFor(positions);
    return kHeader + 8 * words * (kMasks + std::popcount(offsets) + positions) + 2 * positions + 32 * sets;
}

// The positions whose follow masks hold only positions near them, and for
// each offset d (at index d + kMaxOffset) those followed by the one d on.
struct NearFollows {
    Mask near{};
    std::array<Mask, 2 * kMaxOffset + 1> byOffset{};
    uint32_t used = 0;  // bit d + kMaxOffset for each offset d some position has

    void Add(const Mask& follow, size_t p, size_t words) {
        uint32_t offsets = 0;
        bool isNear = true;
        ForEachBit(follow, words, [&](size_t q) {
            const long d = static_cast<long>(q) - static_cast<long>(p);
            isNear = isNear && d >= -kMaxOffset && d <= kMaxOffset;
            if (isNear) offsets |= uint32_t{1} << (d + kMaxOffset);
        });
        if (!isNear) return;
        SetBit(near, p);
        used |= offsets;
        for (uint32_t bits = offsets; bits != 0; bits &= bits - 1) SetBit(byOffset[std::countr_zero(bits)], p);
    }
};

// A subexpression: the positions that can match first and last, and whether
// it matches the empty text.
struct Part {
    Mask first{};
    Mask last{};
    bool nullable = true;
};

class Builder {
public:
    explicit Builder(const PathTree& tree) : tree_(tree) {}

    std::optional<std::string> Build() {
        skipHead_ = SkipsHead();
        Part whole = Node(tree_.root);
        if (failed_) return std::nullopt;
        return Serialised(whole);
    }

private:
    // Without an alternative outside all groups, the expression is "^" and
    // the rest, and a match is only tried at the path's start, where "^"
    // holds: the rest alone is the automaton.
    bool SkipsHead() const {
        const PathNode& root = tree_.nodes[tree_.root];
        if (tree_.searches || root.kind != PathNode::Kind::Sequence || root.children.empty()) return false;
        const PathNode& head = tree_.nodes[root.children[0]];
        return head.kind == PathNode::Kind::Assertion && head.assertion == PathAssertion::LineStart;
    }

    Part Node(int index) {
        const PathNode& node = tree_.nodes[index];
        switch (node.kind) {
            case PathNode::Kind::Empty: return Part{};
            case PathNode::Kind::Bytes: return Position(SetCode(node.bytes));
            case PathNode::Kind::Assertion:
                return Position(static_cast<uint16_t>(kFirstAssertion + static_cast<int>(node.assertion)));
            case PathNode::Kind::Sequence: {
                Part whole;
                const bool skip = index == tree_.root && skipHead_;
                for (size_t i = skip ? 1 : 0; i < node.children.size(); ++i) Append(&whole, Node(node.children[i]));
                return whole;
            }
            case PathNode::Kind::Either: {
                Part whole{{}, {}, false};
                for (const int child : node.children) {
                    const Part branch = Node(child);
                    OrInto(whole.first, branch.first, kMaxWords);
                    OrInto(whole.last, branch.last, kMaxWords);
                    whole.nullable = whole.nullable || branch.nullable;
                }
                return whole;
            }
            case PathNode::Kind::Repeat: return Repeat(node);
        }
        return Part{};
    }

    // "x{m,n}" as m copies of x and n - m optional ones; "x{m,}" as m
    // copies and a starred one.
    Part Repeat(const PathNode& node) {
        Part whole;
        for (int i = 0; i < node.min && !failed_; ++i) Append(&whole, Node(node.children[0]));
        const int optional = node.max < 0 ? 1 : node.max - node.min;
        for (int i = 0; i < optional && !failed_; ++i) {
            Part copy = Node(node.children[0]);
            if (node.max < 0) {
                ForEachBit(copy.last, kMaxWords, [&](size_t p) { OrInto(follow_[p], copy.first, kMaxWords); });
            }
            copy.nullable = true;
            Append(&whole, copy);
        }
        return whole;
    }

    void Append(Part* whole, const Part& piece) {
        ForEachBit(whole->last, kMaxWords, [&](size_t p) { OrInto(follow_[p], piece.first, kMaxWords); });
        if (whole->nullable) OrInto(whole->first, piece.first, kMaxWords);
        if (!piece.nullable) whole->last = Mask{};
        OrInto(whole->last, piece.last, kMaxWords);
        whole->nullable = whole->nullable && piece.nullable;
    }

    Part Position(uint16_t code) {
        if (codes_.size() == kMaxPositions) {
            failed_ = true;
            return Part{};
        }
        Part part{{}, {}, false};
        SetBit(part.first, codes_.size());
        part.last = part.first;
        codes_.push_back(code);
        follow_.emplace_back();
        return part;
    }

    // A single byte or every byte has a code of its own; other sets are
    // stored once however many positions share them.
    uint16_t SetCode(const ByteSet& set) {
        int count = 0;
        for (const uint64_t w : set.words) count += std::popcount(w);
        if (count == 256) return kAnyByte;
        if (count == 1) {
            for (int c = 0; c < 256; ++c) {
                if (set.Has(static_cast<unsigned char>(c))) return static_cast<uint16_t>(c);
            }
        }
        const auto known = std::find(sets_.begin(), sets_.end(), set);
        if (known != sets_.end()) return static_cast<uint16_t>(kFirstSet + (known - sets_.begin()));
        sets_.push_back(set);
        return static_cast<uint16_t>(kFirstSet + sets_.size() - 1);
    }

    std::string Serialised(const Part& whole) const {
        const size_t n = codes_.size(), words = WordsFor(n);
        Mask places{}, any{};
        NearFollows near;
        for (size_t p = 0; p < n; ++p) {
            if (codes_[p] >= kFirstAssertion && codes_[p] < kFirstSet) SetBit(places, p);
            if (codes_[p] == kAnyByte) SetBit(any, p);
            near.Add(follow_[p], p, words);
        }
        const uint32_t used = near.used;
        std::string out(kHeader, '\0');
        const auto put16 = [&out](size_t at, uint16_t v) { std::memcpy(out.data() + at, &v, sizeof v); };
        put16(0, static_cast<uint16_t>(n));
        put16(2, static_cast<uint16_t>(sets_.size()));
        out[4] = static_cast<char>((whole.nullable ? kNullable : 0) | (tree_.searches ? kSearches : 0));
        for (int b = 0; b < 3; ++b) out[5 + b] = static_cast<char>(used >> (8 * b));
        const auto putMask = [&](const Mask& m) { out.append(reinterpret_cast<const char*>(m.data()), 8 * words); };
        putMask(whole.first);
        putMask(whole.last);
        putMask(places);
        putMask(near.near);
        putMask(any);
        for (uint32_t bits = used; bits != 0; bits &= bits - 1) putMask(near.byOffset[std::countr_zero(bits)]);
        for (const Mask& f : follow_) putMask(f);
        out.append(reinterpret_cast<const char*>(codes_.data()), 2 * n);
        for (const ByteSet& set : sets_) out.append(reinterpret_cast<const char*>(set.words.data()), 32);
        return out;
    }

    const PathTree& tree_;
    bool skipHead_ = false;
    bool failed_ = false;
    std::vector<uint16_t> codes_;  // per position
    std::vector<Mask> follow_;     // per position
    std::vector<ByteSet> sets_;
};

bool IsWordByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// A program read in place, its masks `W` words long: one word for the
// programs of up to 64 positions that lists are nearly all made of, so
// that their masks are single words the compiler keeps in registers.
template <size_t W>
class Automaton {
public:
    using Mask = std::array<uint64_t, W>;

    explicit Automaton(std::string_view program) : p_(program) {
        uint16_t n = 0;
        std::memcpy(&n, p_.data(), sizeof n);
        count_ = n;
        words_ = std::min(W, WordsFor(count_));
        const uint32_t used = Offsets(program);
        for (uint32_t bits = used; bits != 0; bits &= bits - 1) offsets_[offsetCount_++] = std::countr_zero(bits) - kMaxOffset;
        followAt_ = kHeader + 8 * words_ * (kMasks + offsetCount_);
        codesAt_ = followAt_ + 8 * words_ * count_;
        setsAt_ = codesAt_ + 2 * count_;
        for (int m = 0; m < kMasks; ++m) masks_[m] = Read(kHeader + 8 * words_ * m);
    }

    uint8_t flags() const { return static_cast<uint8_t>(p_[4]); }
    size_t words() const { return W == 1 ? 1 : words_; }
    const Mask& mask(MaskIndex m) const { return masks_[m]; }
    bool hasPlaces() const { return AnyCommon(masks_[kPlaceMask], masks_[kPlaceMask], words()); }

    // The positions followed by the one offsets_[k] on.
    Mask OffsetMask(int k) const { return Read(kHeader + 8 * words_ * (kMasks + k)); }
    int offset(int k) const { return offsets_[k]; }
    int offsetCount() const { return offsetCount_; }

    uint16_t Code(size_t p) const {
        uint16_t v;
        std::memcpy(&v, p_.data() + codesAt_ + 2 * p, sizeof v);
        return v;
    }

    void OrFollow(size_t p, Mask& to) const {
        const char* at = p_.data() + followAt_ + 8 * words_ * p;
        for (size_t w = 0; w < words(); ++w) {
            uint64_t v;
            std::memcpy(&v, at + 8 * w, sizeof v);
            to[w] |= v;
        }
    }

    static uint32_t Offsets(std::string_view program) {
        return static_cast<uint8_t>(program[5]) | static_cast<uint8_t>(program[6]) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(program[7])) << 16;
    }

    // The positions that follow those of `matched`: the near ones shifted
    // in by offset, the stored mask for the rest.
    Mask Follows(const Mask& matched) const {
        Mask out{};
        for (int k = 0; k < offsetCount_; ++k) Shift(matched, k, out);
        for (size_t w = 0; w < words(); ++w) {
            for (uint64_t bits = matched[w] & ~masks_[kNearMask][w]; bits != 0; bits &= bits - 1) {
                OrFollow(w * 64 + std::countr_zero(bits), out);
            }
        }
        return out;
    }

    // The positions among `candidates` that match the byte `c`: those that
    // match any byte at once, the others one by one.
    Mask Matching(const Mask& candidates, unsigned char c) const {
        Mask out{};
        for (size_t w = 0; w < words(); ++w) {
            out[w] = candidates[w] & masks_[kAnyMask][w];
            const uint64_t others = candidates[w] & ~masks_[kPlaceMask][w] & ~masks_[kAnyMask][w];
            for (uint64_t bits = others; bits != 0; bits &= bits - 1) {
                const size_t p = w * 64 + std::countr_zero(bits);
                if (Accepts(Code(p), c)) out[w] |= bits & -bits;
            }
        }
        return out;
    }

private:
    // Adds the positions of `matched` that offset mask `k` names, moved
    // offsets_[k] places on.
    void Shift(const Mask& matched, int k, Mask& out) const {
        const char* moving = p_.data() + kHeader + 8 * words_ * (kMasks + k);
        const auto bitsAt = [&](size_t w) {
            uint64_t v;
            std::memcpy(&v, moving + 8 * w, sizeof v);
            return matched[w] & v;
        };
        const int d = offsets_[k];
        if (d == 0) {
            for (size_t w = 0; w < words(); ++w) out[w] |= bitsAt(w);
        } else if (d > 0) {
            uint64_t carry = 0;
            for (size_t w = 0; w < words(); ++w) {
                const uint64_t bits = bitsAt(w);
                out[w] |= bits << d | carry;
                carry = bits >> (64 - d);
            }
        } else {
            uint64_t carry = 0;
            for (size_t w = words(); w-- > 0;) {
                const uint64_t bits = bitsAt(w);
                out[w] |= bits >> -d | carry;
                carry = bits << (64 + d);
            }
        }
    }

    Mask Read(size_t at) const {
        Mask m{};
        std::memcpy(m.data(), p_.data() + at, 8 * words());
        return m;
    }

    bool Accepts(uint16_t code, unsigned char c) const {
        if (code < 256) return code == c;
        const size_t at = setsAt_ + 32 * static_cast<size_t>(code - kFirstSet) + 8 * (c >> 6);
        uint64_t word;
        std::memcpy(&word, p_.data() + at, sizeof word);
        return ((word >> (c & 63)) & 1) != 0;
    }

    std::string_view p_;
    size_t count_ = 0, words_ = 0, followAt_ = 0, codesAt_ = 0, setsAt_ = 0;
    std::array<Mask, kMasks> masks_{};
    std::array<int, 2 * kMaxOffset + 1> offsets_{};
    int offsetCount_ = 0;
};

// The place between path[i - 1] and path[i], as the places see it. A line
// feed before it counts for "^" only within a match: a match that starts
// there sees the line feed as any other byte.
struct Place {
    bool start = false;     // before the path's first byte
    bool afterLine = false; // just after a line feed
    bool end = false;       // after the path's last byte
    bool lineNext = false;  // before a line feed
    bool wordBefore = false;
    bool wordAfter = false;

    Place(std::string_view path, size_t i, bool startsHere)
        : start(i == 0), afterLine(i > 0 && !startsHere && path[i - 1] == '\n'), end(i == path.size()),
          lineNext(i < path.size() && path[i] == '\n'),
          wordBefore(i > 0 && IsWordByte(static_cast<unsigned char>(path[i - 1]))),
          wordAfter(i < path.size() && IsWordByte(static_cast<unsigned char>(path[i]))) {}

    // Whether the place matches `a`. `goingOn`: the match continues with
    // the byte after the place, before which "$" also holds at a line feed.
    bool Holds(PathAssertion a, bool goingOn) const {
        switch (a) {
            case PathAssertion::LineStart: return start || afterLine;
            case PathAssertion::TextStart: return start;
            case PathAssertion::LineEnd: return end || (goingOn && lineNext);
            case PathAssertion::TextEnd: return end;
            case PathAssertion::WordStart: return !wordBefore && wordAfter;
            case PathAssertion::WordEnd: return wordBefore && !wordAfter;
            case PathAssertion::WordEdge: return wordBefore != wordAfter;
            case PathAssertion::NotWordEdge: return wordBefore == wordAfter;
        }
        return false;
    }
};

// Adds to `candidates` what follows each place among them that holds at
// `place`, and what follows those in turn. Returns whether a place that
// ends the pattern holds.
template <size_t W>
bool PassPlaces(const Automaton<W>& a, const Place& place, bool goingOn, std::array<uint64_t, W>& candidates) {
    bool ends = false;
    std::array<uint64_t, W> done{};
    for (;;) {
        std::array<uint64_t, W> pending{};
        for (size_t w = 0; w < a.words(); ++w) pending[w] = candidates[w] & a.mask(kPlaceMask)[w] & ~done[w];
        if (!AnyCommon(pending, pending, a.words())) return ends;
        OrInto(done, pending, a.words());
        ForEachBit(pending, a.words(), [&](size_t p) {
            if (!place.Holds(static_cast<PathAssertion>(a.Code(p) - kFirstAssertion), goingOn)) return;
            ends = ends || TestBit(a.mask(kLastMask), p);
            a.OrFollow(p, candidates);
        });
    }
}

// The places among `candidates` passed at `place`. A place that ends the
// pattern must hold for the path as it stands; to go on matching, "$"
// holds before a line feed as well.
template <size_t W>
bool Settle(const Automaton<W>& a, const Place& place, std::array<uint64_t, W>& candidates) {
    if (PassPlaces(a, place, false, candidates)) return true;
    if (place.lineNext) PassPlaces(a, place, true, candidates);
    return false;
}

template <size_t W>
bool Run(std::string_view program, std::string_view lowered) {
    using Mask = std::array<uint64_t, W>;
    const Automaton<W> a(program);
    if ((a.flags() & kNullable) != 0) return true;
    const bool places = a.hasPlaces();
    const bool searches = (a.flags() & kSearches) != 0;
    Mask candidates = a.mask(kFirstMask);
    for (size_t i = 0;; ++i) {
        if (places && Settle(a, Place(lowered, i, i == 0), candidates)) return true;
        if (searches && i > 0) {
            Mask fresh = a.mask(kFirstMask);
            if (places && Settle(a, Place(lowered, i, true), fresh)) return true;
            OrInto(candidates, fresh, a.words());
        }
        if (i == lowered.size()) return false;
        const Mask matched = a.Matching(candidates, static_cast<unsigned char>(lowered[i]));
        if (AnyCommon(matched, a.mask(kLastMask), a.words())) return true;
        if (!searches && !AnyCommon(matched, matched, a.words())) return false;
        candidates = a.Follows(matched);
    }
}

}  // namespace

std::optional<std::string> AutomatonProgram(std::string_view path) {
    const std::string expression = "^(" + std::string(path) + ")";
    const std::optional<PathTree> tree = ParsePathTree(expression);
    if (!tree) return std::nullopt;
    return Builder(*tree).Build();
}

bool AutomatonMatches(std::string_view program, std::string_view lowered) {
    uint16_t n = 0;
    std::memcpy(&n, program.data(), sizeof n);
    if (n == 0) return (program[4] & kNullable) != 0;  // no masks to read
    return n <= 64 ? Run<1>(program, lowered) : Run<kMaxWords>(program, lowered);
}

bool AutomatonProgramValid(std::string_view program) {
    if (program.size() < kHeader) return false;
    uint16_t n = 0, sets = 0;
    std::memcpy(&n, program.data(), sizeof n);
    std::memcpy(&sets, program.data() + 2, sizeof sets);
    const uint32_t offsets = Automaton<kMaxWords>::Offsets(program);
    if (n > kMaxPositions || sets > kMaxPositions || (offsets & ~kAllOffsets) != 0 ||
        program.size() != ProgramSize(n, sets, offsets) || (program[4] & ~(kNullable | kSearches)) != 0) {
        return false;
    }
    const Automaton<kMaxWords> a(program);
    Mask positions{};
    for (size_t p = 0; p < n; ++p) SetBit(positions, p);
    const auto within = [&](const Mask& m) {
        for (size_t w = 0; w < a.words(); ++w) {
            if ((m[w] & ~positions[w]) != 0) return false;
        }
        return true;
    };
    Mask places{}, any{};
    NearFollows near;
    for (size_t p = 0; p < n; ++p) {
        const uint16_t code = a.Code(p);
        if (code >= kFirstAssertion + kPathAssertions && (code < kFirstSet || code >= kFirstSet + sets)) return false;
        if (code >= kFirstAssertion && code < kFirstSet) SetBit(places, p);
        if (code == kAnyByte) SetBit(any, p);
        Mask follow{};
        a.OrFollow(p, follow);
        if (!within(follow)) return false;
        near.Add(follow, p, a.words());
    }
    if (near.used != offsets || a.mask(kNearMask) != near.near) return false;
    for (int k = 0; k < a.offsetCount(); ++k) {
        if (a.OffsetMask(k) != near.byOffset[a.offset(k) + kMaxOffset]) return false;
    }
    for (int m = 0; m < kMasks; ++m) {
        if (!within(a.mask(static_cast<MaskIndex>(m)))) return false;
    }
    return a.mask(kPlaceMask) == places && a.mask(kAnyMask) == any;
}

}  // namespace tamsel
