// Random list text over a small alphabet, so that hosts, ports, paths, trust
// lines and exceptions often meet in the randomised tests of the stages.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "support/lcg.h"

namespace tamsel::testing {

// The host labels the lines draw from; a probed name takes "a", "ad" or "*".
inline constexpr const char* kRandomLabels[] = {"a", "b", "ad", "*", "ad*", "x"};

// `lines` lines, a quarter of them exceptions, each a host of up to three
// labels (perhaps none) followed by one of `ports` and one of `paths`.
inline std::string RandomHostLines(Lcg& next, int lines, std::span<const char* const> ports,
                                   std::span<const char* const> paths) {
    std::string text;
    for (int line = 0; line < lines; ++line) {
        if (next(4) == 0) text += "~";
        const uint32_t depth = next(4);
        for (uint32_t i = 0; i < depth; ++i) text += std::string(i ? "." : "") + kRandomLabels[next(6)];
        text += std::string(ports[next(static_cast<uint32_t>(ports.size()))]) +
                paths[next(static_cast<uint32_t>(paths.size()))] + "\n";
    }
    return text;
}

}  // namespace tamsel::testing
