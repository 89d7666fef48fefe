#include "patterns/text.h"

#include <gtest/gtest.h>

#include <string>

namespace tamsel {
namespace {

TEST(EscapeControlBytes, ControlBytesAndC1ControlsAreShownAsHex) {
    EXPECT_EQ(EscapeControlBytes("ads.x/\\.gif?a=[1]~"), "ads.x/\\.gif?a=[1]~");  // printable text as is
    EXPECT_EQ(EscapeControlBytes("\x1b[2J\x1b]0;t\x07"), "\\x1b[2J\\x1b]0;t\\x07");
    EXPECT_EQ(EscapeControlBytes(std::string("a\0b\r\n\t\x7f", 7)), "a\\x00b\\x0d\\x0a\\x09\\x7f");
    EXPECT_EQ(EscapeControlBytes("\xc2\x9b" "31m"), "\\xc2\\x9b31m");  // CSI as UTF-8
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
