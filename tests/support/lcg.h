// A small, fixed-seed generator for randomised tests: the same cases on
// every platform and every run, so a failure can be replayed.
#pragma once

#include <cstdint>

namespace tamsel::testing {

class Lcg {
public:
    explicit Lcg(uint32_t seed) : seed_(seed) {}

    // A number below `n`.
    uint32_t operator()(uint32_t n) {
        seed_ = seed_ * 1103515245u + 12345u;
        return (seed_ >> 16) % n;
    }

private:
    uint32_t seed_;
};

}  // namespace tamsel::testing
