// Eight bytes of text read as one word, and questions asked of all eight at
// once: the scans every request pays read a word where they would read a
// byte, and fall back to bytes only near what they look for.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "patterns/text.h"

namespace tamsel {

// Eight bytes in one word, in the machine's byte order.
inline uint64_t EightBytes(const char* at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

inline constexpr uint64_t kEachByte = 0x0101010101010101u;

// The top bit of each byte of `word` that is below `bound` (at most 128).
// The first such byte, the lowest in the word, is marked exactly; a byte
// after it may be marked falsely by the borrow it lends.
constexpr uint64_t BytesBelow(uint64_t word, uint8_t bound) {
    return (word - kEachByte * bound) & ~word & kEachByte * 0x80;
}

// The same for the bytes that are `byte`.
constexpr uint64_t BytesAre(uint64_t word, char byte) {
    return BytesBelow(word ^ kEachByte * static_cast<uint8_t>(byte), 1);
}

// The top bit of each byte of `word` that is `byte`, every one exact: no
// carry crosses from one byte to the next.
constexpr uint64_t EachByteThatIs(uint64_t word, char byte) {
    constexpr uint64_t kLow7 = kEachByte * 0x7f;
    const uint64_t x = word ^ kEachByte * static_cast<uint8_t>(byte);
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// Whether some byte of `word` is below `bound`: exact, since a false mark
// only ever follows a true one.
constexpr bool AnyByteBelow(uint64_t word, uint8_t bound) { return BytesBelow(word, bound) != 0; }

// Whether some byte of `word` is `byte`.
constexpr bool AnyByteIs(uint64_t word, char byte) { return BytesAre(word, byte) != 0; }

// The place in the text of the first marked byte of a non-zero mark: its
// lowest byte, as the words are read on every machine the filter runs on.
static_assert(std::endian::native == std::endian::little, "the byte scans read words low byte first");
constexpr size_t FirstMarked(uint64_t marks) { return static_cast<size_t>(std::countr_zero(marks)) / 8; }

// The marks of the bytes before the first marked one (all of them for none).
constexpr uint64_t BeforeFirstMark(uint64_t marks) { return (marks & (0 - marks)) - 1; }

// The bits of the first `n` bytes of a word (all of them from eight on).
constexpr uint64_t FirstBytes(size_t n) { return n >= 8 ? ~uint64_t{0} : (uint64_t{1} << 8 * n) - 1; }

// The next bytes of `text` from `at` (below its size) as one word, and how
// many of them are new (`*valid`, up to eight). The last bytes of a text of
// eight or more are read as one word that overlaps the bytes already seen,
// shifted out; a shorter text is read byte by byte. The bytes past the new
// ones are zero.
inline uint64_t WordAt(std::string_view text, size_t at, size_t* valid) {
    if (at + 8 <= text.size()) {
        *valid = 8;
        return EightBytes(text.data() + at);
    }
    *valid = text.size() - at;
    if (text.size() >= 8) return EightBytes(text.data() + text.size() - 8) >> (8 * (8 - *valid));
    uint64_t word = 0;
    for (size_t i = 0; i < *valid; ++i) word |= uint64_t{static_cast<unsigned char>(text[at + i])} << 8 * i;
    return word;
}

// `word` with its bytes A to Z lower-cased and the others as they were. Each
// byte is judged on its own: no carry crosses from one byte to the next.
constexpr uint64_t LowerEightBytes(uint64_t word) {
    const uint64_t low7 = word & kEachByte * 0x7f;
    const uint64_t fromA = low7 + kEachByte * (0x80 - 'A');      // top bit: at least 'A'
    const uint64_t pastZ = low7 + kEachByte * (0x80 - 'Z' - 1);  // top bit: past 'Z'
    const uint64_t upper = fromA & ~pastZ & ~word & kEachByte * 0x80;
    return word | upper >> 2;
}

// Copies `text` into `out` lower-cased (A to Z), up to its first NUL;
// returns how many bytes it copied. Eight bytes at a time until a word holds
// a NUL; a text of eight bytes or more ends with the word of its last eight,
// which may overlap the one before, so that no byte is taken on its own
// unless a NUL is near.
inline size_t LowerInto(std::string_view text, char* out) {
    const auto put = [&](size_t at, uint64_t word) {
        const uint64_t lowered = LowerEightBytes(word);
        std::memcpy(out + at, &lowered, sizeof lowered);
    };
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        const uint64_t word = EightBytes(text.data() + i);
        if (AnyByteBelow(word, 1)) break;
        put(i, word);
    }
    if (i < text.size() && i + 8 > text.size() && text.size() >= 8) {
        // The bytes before `i` hold no NUL, so any NUL is among the new ones.
        const uint64_t word = EightBytes(text.data() + text.size() - 8);
        if (!AnyByteBelow(word, 1)) {
            put(text.size() - 8, word);
            return text.size();
        }
    }
    for (; i < text.size() && text[i] != '\0'; ++i) out[i] = AsciiLower(text[i]);
    return i;
}

}  // namespace tamsel
