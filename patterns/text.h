// Byte-level text helpers shared by the parser, the loader and the gate.
//
// Every byte is classified as an unsigned char, so bytes 128 and up never
// reach <cctype> as negative values, and only A to Z fold: list files and
// request heads are single-byte text whose upper half belongs to no locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamsel {

constexpr char AsciiLower(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<char>(u + 32) : c;
}

// The white space of the C locale's isspace: blank, tab, LF, VT, FF, CR.
constexpr bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Case-insensitive (A to Z only) test that `text` begins with `prefix`.
// Inline: every request asks it of a few constant prefixes.
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
    }
    return true;
}

// Lower-cases A to Z in place; other bytes are left as they are.
void LowerAscii(std::string& text);

// `bytes` made safe to print on a terminal: control bytes (below 32, and
// 127) and the two-byte UTF-8 forms of the C1 controls (C2 80 to C2 9F) are
// shown as \xNN, so list lines, file names and arguments echoed to the user
// cannot move the cursor or send the terminal escape sequences.
std::string EscapeControlBytes(std::string_view bytes);

// The bytes an escaping shows as \xNN besides the control bytes (below 32,
// and 127).
struct EscapeAlso {
    bool c1Controls = false;  // C2 80 to C2 9F, the C1 controls in UTF-8
    bool backslash = false;   // so that a reader can tell an escape from the text
};

// Appends `bytes` to `out` with the control bytes, and those `also` names,
// shown as \xNN (two lower-case hex digits).
void AppendEscaped(std::string& out, std::string_view bytes, EscapeAlso also);

// Reads a decimal number the way atoi does (leading white space, an optional
// sign, digits, anything after them ignored, 0 without digits), but clamps to
// the int32 range instead of overflowing.
int32_t AtoiSaturating(std::string_view text);

}  // namespace tamsel
