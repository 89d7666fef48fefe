// The layout of automaton programs, shared by the code that builds them
// and the code that runs and checks them (path_automaton*.cpp only).
//
// A program is the position automaton of a path pattern: each leaf of the
// pattern's tree that matches a byte or a place between bytes is a
// position, once per copy a count makes ("a{3}" is three). The program says
// which positions can come first and last, which can follow each one, and
// what each matches.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "patterns/path_syntax.h"

namespace tamsel::automaton {

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
// the sets, 32 bytes each; then the byte classes (see ByteClassTable). Near
// follows are moved by a shift of the mask for each offset, whatever the
// number of positions reached, so a long run of counted copies costs a few
// words per byte.
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

inline size_t WordsFor(size_t positions) { return (positions + 63) / 64; }

// Where the byte classes start: the bytes before them.
inline size_t ClassTableAt(size_t positions, size_t sets, uint32_t offsets) {
    const size_t words = WordsFor(positions);
    return kHeader + 8 * words * (kMasks + std::popcount(offsets) + positions) + 2 * positions + 32 * sets;
}

// The byte classes of a program whose match codes and sets are `codes` and
// `sets` as stored: the class count (two bytes), each byte's class (256
// bytes), then per class the mask of the positions that match its bytes.
// Bytes no position tells apart share a class, so a step over a byte is two
// reads whatever the positions and sets; the codes and sets stay in the
// program so that a snapshot's table can be checked against them.
std::string ByteClassTable(std::string_view codes, std::string_view sets, size_t words);
constexpr size_t kClassMapAt = 2;
constexpr size_t kClassMasksAt = kClassMapAt + 256;

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

}  // namespace tamsel::automaton
