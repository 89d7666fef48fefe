#include "patterns/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "patterns/byte_words.h"

namespace tamsel {
namespace {

// Every byte value, at every place of the word and beside every neighbour
// that could lend or borrow a carry, lowers as AsciiLower lowers it alone.
TEST(LowerEightBytes, EachByteLowersAsItWouldAlone) {
    for (int place = 0; place < 8; ++place) {
        for (int value = 0; value < 256; ++value) {
            for (const int neighbour : {0x00, 0x40, 0x41, 0x5a, 0x5b, 0x7f, 0x80, 0xc1, 0xda, 0xff}) {
                char bytes[8];
                std::memset(bytes, neighbour, sizeof bytes);
                bytes[place] = static_cast<char>(value);
                const uint64_t lowered = LowerEightBytes(EightBytes(bytes));
                char out[8];
                std::memcpy(out, &lowered, sizeof out);
                for (int i = 0; i < 8; ++i) {
                    ASSERT_EQ(out[i], AsciiLower(bytes[i]))
                        << "byte " << value << " at " << place << " beside " << neighbour;
                }
            }
        }
    }
}

TEST(EscapeControlBytes, ControlBytesAndC1ControlsAreShownAsHex) {
    EXPECT_EQ(EscapeControlBytes("ads.x/\\.gif?a=[1]~"), "ads.x/\\.gif?a=[1]~");  // printable text as is
    EXPECT_EQ(EscapeControlBytes("\x1b[2J\x1b]0;t\x07"), "\\x1b[2J\\x1b]0;t\\x07");
    EXPECT_EQ(EscapeControlBytes(std::string("a\0b\r\n\t\x7f", 7)), "a\\x00b\\x0d\\x0a\\x09\\x7f");
    EXPECT_EQ(EscapeControlBytes("\xc2\x9b"
                                 "31m"),
              "\\xc2\\x9b31m");  // CSI as UTF-8
    EXPECT_EQ(EscapeControlBytes("caf\xc3\xa9 \xc2\xa0 \xe2\x82\xac"), "caf\xc3\xa9 \xc2\xa0 \xe2\x82\xac");
    EXPECT_EQ(EscapeControlBytes("\xc2"), "\xc2");  // a lone lead byte at the end
}

TEST(AppendEscaped, EachCallerNamesWhatElseIsEscaped) {
    const std::string text = "a\\b\xc2\x85\x01";
    const auto escaped = [&](EscapeAlso also) {
        std::string out = ">";
        AppendEscaped(out, text, also);
        return out;
    };
    EXPECT_EQ(escaped({}), ">a\\b\xc2\x85\\x01");  // appended, control bytes only
    EXPECT_EQ(escaped({.backslash = true}), ">a\\x5cb\xc2\x85\\x01");
    EXPECT_EQ(escaped({.c1Controls = true}), ">a\\b\\xc2\\x85\\x01");
}

}  // namespace
}  // namespace tamsel
