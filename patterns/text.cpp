#include "patterns/text.h"

#include <limits>

namespace tamsel {

void LowerAscii(std::string& text) {
    for (char& c : text) c = AsciiLower(c);
}

int32_t AtoiSaturating(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so INT32_MIN is reachable exactly.
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    int64_t value = 0;
    for (; i < text.size() && IsAsciiDigit(text[i]); ++i) {
        value = value * 10 - (text[i] - '0');
        if (value < kMin) {
            value = kMin;
            break;
        }
    }
    if (!negative) {
        value = -value;
        if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

void AppendEscaped(std::string& out, std::string_view bytes, EscapeAlso also) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto escape = [&out](unsigned char u) {
        out.append("\\x").push_back(kHex[u >> 4]);
        out.push_back(kHex[u & 15]);
    };
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto u = static_cast<unsigned char>(bytes[i]);
        const bool c1 = also.c1Controls && u == 0xc2 && i + 1 < bytes.size() &&
                        (static_cast<unsigned char>(bytes[i + 1]) & 0xe0) == 0x80;
        if (c1) {
            escape(u);
            escape(static_cast<unsigned char>(bytes[++i]));
        } else if (u < 0x20 || u == 0x7f || (also.backslash && u == '\\')) {
            escape(u);
        } else {
            out.push_back(bytes[i]);
        }
    }
}

std::string EscapeControlBytes(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    AppendEscaped(out, bytes, {.c1Controls = true});
    return out;
}

}  // namespace tamsel
