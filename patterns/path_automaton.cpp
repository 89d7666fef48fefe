// Automaton programs built from a path's syntax tree, for every path the
// parse accepts.
#include "patterns/path_automaton.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "patterns/path_program.h"

namespace tamsel {

namespace {

using namespace automaton;

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

    Result<std::string> Build() {
        skipHead_ = SkipsHead();
        Part whole = Node(tree_.root);
        if (failed_) return Failure{"too many elements to match"};
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
        static_assert(sizeof(ByteSet) == 32);
        const std::string_view codes(reinterpret_cast<const char*>(codes_.data()), 2 * n);
        const std::string_view sets(reinterpret_cast<const char*>(sets_.data()), sizeof(ByteSet) * sets_.size());
        const std::string classes = ByteClassTable(codes, sets, words);
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
        return out.append(codes).append(sets).append(classes);
    }

    const PathTree& tree_;
    bool skipHead_ = false;
    bool failed_ = false;
    std::vector<uint16_t> codes_;  // per position
    std::vector<Mask> follow_;     // per position
    std::vector<ByteSet> sets_;
};

// The bytes a position of match code `code` matches: none for a place, or
// for a set `sets` lacks.
std::array<uint64_t, 4> BytesOf(uint16_t code, std::string_view sets) {
    std::array<uint64_t, 4> bytes{};
    if (code < 256) {
        SetBit(bytes, code);
    } else if (code == kAnyByte) {
        bytes.fill(~uint64_t{0});
    } else if (const size_t at = 32 * (size_t{code} - kFirstSet); code >= kFirstSet && at + 32 <= sets.size()) {
        std::memcpy(bytes.data(), sets.data() + at, 32);
    }
    return bytes;
}

}  // namespace

std::string automaton::ByteClassTable(std::string_view codes, std::string_view sets, size_t words) {
    const size_t maskBytes = 8 * words;
    std::vector<uint64_t> matching(256 * words);  // each byte's mask
    for (size_t p = 0; p < codes.size() / 2; ++p) {
        uint16_t code;
        std::memcpy(&code, codes.data() + 2 * p, sizeof code);
        ForEachBit(BytesOf(code, sets), 4, [&](size_t c) { matching[c * words + p / 64] |= uint64_t{1} << (p % 64); });
    }
    const auto maskOf = [&](size_t c) {
        return std::string_view(reinterpret_cast<const char*>(matching.data() + c * words), maskBytes);
    };
    std::array<uint8_t, 256> classOf{}, firstByteOf{};
    uint16_t count = 0;
    const auto same = [&](size_t a, size_t b) {
        return std::equal(matching.begin() + a * words, matching.begin() + (a + 1) * words,
                          matching.begin() + b * words);
    };
    for (size_t c = 0; c < 256; ++c) {
        if (c > 0 && same(c - 1, c)) {  // neighbours mostly share a class: no search
            classOf[c] = classOf[c - 1];
            continue;
        }
        uint16_t k = 0;
        while (k < count && !same(firstByteOf[k], c)) ++k;
        if (k == count) firstByteOf[count++] = static_cast<uint8_t>(c);
        classOf[c] = static_cast<uint8_t>(k);
    }
    std::string out;  // made to size at once: lists hold many programs, each built in passing
    out.reserve(kClassMasksAt + count * maskBytes);
    out.append(reinterpret_cast<const char*>(&count), sizeof count);
    out.append(reinterpret_cast<const char*>(classOf.data()), classOf.size());
    for (uint16_t k = 0; k < count; ++k) out.append(maskOf(firstByteOf[k]));
    return out;
}

Result<std::string> AutomatonProgram(const PathTree& tree) { return Builder(tree).Build(); }

}  // namespace tamsel
