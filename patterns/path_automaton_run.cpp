// Automaton programs run over a path, and checked when read back from a
// snapshot. The set of positions reached is kept as a mask of at most
// kMaxExpandedSize bits and moved over the path one byte at a time, so a
// match takes time linear in the path and no memory beyond a few masks on
// the stack.
#include "patterns/path_automaton.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "patterns/path_program.h"

namespace tamsel {

namespace {

using namespace automaton;

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
        uint16_t n = 0, sets = 0;
        std::memcpy(&n, p_.data(), sizeof n);
        std::memcpy(&sets, p_.data() + 2, sizeof sets);
        count_ = n;
        words_ = std::min(W, WordsFor(count_));
        const uint32_t offsets = Offsets(program);
        for (uint32_t bits = offsets; bits != 0; bits &= bits - 1) {
            offsets_[offsetCount_] = std::countr_zero(bits) - kMaxOffset;
            offsetMasks_[offsetCount_] = Read(kHeader + 8 * words_ * (kMasks + offsetCount_));
            ++offsetCount_;
        }
        followAt_ = kHeader + 8 * words_ * (kMasks + offsetCount_);
        codesAt_ = followAt_ + 8 * words_ * count_;
        classesAt_ = codesAt_ + 2 * count_ + 32 * size_t{sets};
        for (int m = 0; m < kMasks; ++m) masks_[m] = Read(kHeader + 8 * words_ * m);
    }

    uint8_t flags() const { return static_cast<uint8_t>(p_[4]); }
    size_t words() const { return W == 1 ? 1 : words_; }
    const Mask& mask(MaskIndex m) const { return masks_[m]; }
    bool hasPlaces() const { return AnyCommon(masks_[kPlaceMask], masks_[kPlaceMask], words()); }

    // The positions followed by the one offset(k) on.
    const Mask& OffsetMask(int k) const { return offsetMasks_[k]; }
    int offset(int k) const { return offsets_[k]; }
    int offsetCount() const { return offsetCount_; }
    size_t codesAt() const { return codesAt_; }
    size_t classesAt() const { return classesAt_; }

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

    // The positions among `candidates` that match the byte `c`, by its class.
    Mask Matching(const Mask& candidates, unsigned char c) const {
        const size_t byteClass = static_cast<uint8_t>(p_[classesAt_ + kClassMapAt + c]);
        Mask out = Read(classesAt_ + kClassMasksAt + 8 * words_ * byteClass);
        for (size_t w = 0; w < words(); ++w) out[w] &= candidates[w];
        return out;
    }

private:
    // Adds the positions of `matched` that offset mask `k` names, moved
    // offsets_[k] places on.
    void Shift(const Mask& matched, int k, Mask& out) const {
        const int d = offsets_[k];
        if (W == 1) {
            const uint64_t bits = matched[0] & offsetMasks_[k][0];
            out[0] |= std::rotl(bits, d);  // never wraps: a near follow lies within the word
        } else if (d == 0) {
            for (size_t w = 0; w < words(); ++w) out[w] |= matched[w] & offsetMasks_[k][w];
        } else if (d > 0) {
            uint64_t carry = 0;
            for (size_t w = 0; w < words(); ++w) {
                const uint64_t bits = matched[w] & offsetMasks_[k][w];
                out[w] |= bits << d | carry;
                carry = bits >> (64 - d);
            }
        } else {
            uint64_t carry = 0;
            for (size_t w = words(); w-- > 0;) {
                const uint64_t bits = matched[w] & offsetMasks_[k][w];
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

    std::string_view p_;
    size_t count_ = 0, words_ = 0, followAt_ = 0, codesAt_ = 0, classesAt_ = 0;
    // Filled as far as the program says (left unset, as a call reads only those).
    std::array<Mask, kMasks> masks_;
    std::array<int, 2 * kMaxOffset + 1> offsets_;
    std::array<Mask, 2 * kMaxOffset + 1> offsetMasks_;
    int offsetCount_ = 0;
};

// The place between path[i - 1] and path[i], as the places see it. A line
// feed before it counts for "^" only within a match: a match that starts
// there sees the line feed as any other byte.
struct Place {
    bool start = false;      // before the path's first byte
    bool afterLine = false;  // just after a line feed
    bool end = false;        // after the path's last byte
    bool lineNext = false;   // before a line feed
    bool wordBefore = false;
    bool wordAfter = false;

    Place(std::string_view path, size_t i, bool startsHere)
        : start(i == 0),
          afterLine(i > 0 && !startsHere && path[i - 1] == '\n'),
          end(i == path.size()),
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

// The places among `candidates` passed at the place before path[i]. A
// place that ends the pattern must hold for the path as it stands; to go
// on matching, "$" holds before a line feed as well.
template <size_t W>
bool Settle(const Automaton<W>& a, std::string_view path, size_t i, bool startsHere,
            std::array<uint64_t, W>& candidates) {
    if (!AnyCommon(candidates, a.mask(kPlaceMask), a.words())) return false;  // the bytes around need no look
    const Place place(path, i, startsHere);
    if (PassPlaces(a, place, false, candidates)) return true;
    if (place.lineNext) PassPlaces(a, place, true, candidates);
    return false;
}

// The first byte from `from` on at which `candidates` match other positions
// than `matched`, or the path's end.
template <size_t W>
size_t SameMatchEnd(const Automaton<W>& a, const std::array<uint64_t, W>& candidates,
                    const std::array<uint64_t, W>& matched, std::string_view lowered, size_t from) {
    while (from < lowered.size() && a.Matching(candidates, static_cast<unsigned char>(lowered[from])) == matched) {
        ++from;
    }
    return from;
}

// Whether `next`, with the fresh starts a search adds before each byte, is
// `before` again.
template <size_t W>
bool BackWhereItWas(const Automaton<W>& a, std::array<uint64_t, W> next, const std::array<uint64_t, W>& before,
                    bool searches) {
    if (searches) OrInto(next, a.mask(kFirstMask), a.words());
    return next == before;
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
        if (places && Settle(a, lowered, i, i == 0, candidates)) return true;
        if (searches && i > 0) {
            Mask fresh = a.mask(kFirstMask);
            if (places && Settle(a, lowered, i, true, fresh)) return true;
            OrInto(candidates, fresh, a.words());
        }
        if (i == lowered.size()) return false;
        const Mask before = candidates;
        const Mask matched = a.Matching(candidates, static_cast<unsigned char>(lowered[i]));
        if (AnyCommon(matched, a.mask(kLastMask), a.words())) return true;
        if (!searches && !AnyCommon(matched, matched, a.words())) return false;
        candidates = a.Follows(matched);
        // Back where it was (a ".*" waiting for its next byte, say): each
        // byte that matches the same positions leaves it there again. Not
        // so with places, which hold or not by the bytes around them.
        if (!places && BackWhereItWas(a, candidates, before, searches)) {
            i = SameMatchEnd(a, before, matched, lowered, i + 1) - 1;
        }
    }
}

}  // namespace

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
        program.size() < ClassTableAt(n, sets, offsets) || (program[4] & ~(kNullable | kSearches)) != 0) {
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
    // The classes are read by byte and class index: checked whole, against
    // the codes and sets they were made from.
    const std::string_view codes = program.substr(a.codesAt(), 2 * size_t{n});
    const std::string_view setBytes = program.substr(a.codesAt() + codes.size(), 32 * size_t{sets});
    return a.mask(kPlaceMask) == places && a.mask(kAnyMask) == any &&
           program.substr(a.classesAt()) == ByteClassTable(codes, setBytes, a.words());
}

}  // namespace tamsel
