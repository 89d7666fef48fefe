// Eight bytes of text read as one word, and questions asked of all eight at
// once: the scans every request pays read a word where they would read a
// byte, and fall back to bytes only near what they look for.
#pragma once

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

// Whether some byte of `word` is below `bound` (at most 128). Exact for the
// question "any": a borrow reaches a byte's top bit only past a byte that
// is below the bound itself.
constexpr bool AnyByteBelow(uint64_t word, uint8_t bound) {
    return ((word - kEachByte * bound) & ~word & kEachByte * 0x80) != 0;
}

// Whether some byte of `word` is `byte`.
constexpr bool AnyByteIs(uint64_t word, char byte) {
    return AnyByteBelow(word ^ kEachByte * static_cast<uint8_t>(byte), 1);
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

// Copies `text` into `out` lower-cased (A to Z), up to its first NUL, or its
// first NUL or LF with `lineFeedEnds`; returns how many bytes it copied.
// Eight bytes at a time until a word holds an end.
inline size_t LowerInto(std::string_view text, char* out, bool lineFeedEnds) {
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        const uint64_t word = EightBytes(text.data() + i);
        if (AnyByteBelow(word, 1) || (lineFeedEnds && AnyByteIs(word, '\n'))) break;
        const uint64_t lowered = LowerEightBytes(word);
        std::memcpy(out + i, &lowered, sizeof lowered);
    }
    for (; i < text.size() && text[i] != '\0' && !(lineFeedEnds && text[i] == '\n'); ++i) out[i] = AsciiLower(text[i]);
    return i;
}

}  // namespace tamsel
