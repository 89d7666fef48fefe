// Sets of small numbers kept as bits in an array of 64-bit words.
#pragma once

#include <cstdint>

namespace tamsel {

inline void SetBit(uint64_t* words, uint32_t bit) { words[bit >> 6] |= uint64_t{1} << (bit & 63); }

inline bool HasBit(const uint64_t* words, uint32_t bit) { return (words[bit >> 6] >> (bit & 63) & 1) != 0; }

}  // namespace tamsel
