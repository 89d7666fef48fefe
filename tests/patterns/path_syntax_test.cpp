#include "patterns/path_tree.h"

#include <gtest/gtest.h>

#include <regex.h>

#include <string>

#include "patterns/matcher.h"
#include "support/list_set.h"
#include "patterns/pattern_list.h"
#include "support/lcg.h"

namespace tamsel {
namespace {

// Why the parse refuses `path`, or "" when it accepts it.
std::string Fault(const std::string& path) { return ParsePath(path).status.message(); }

std::string Repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// Lines that made the engine overflow the stack, or run for tens of seconds
// and gigabytes, in every program that loaded the list.
const std::string kHostileLines[] = {
    "/(a*){1,32767}",
    "/a" + std::string(24, '+'),
    "/a{32767}{32767}",
    "/(.*){1,16000}x",
    "/" + std::string(60, '*') + "\\{" + std::string(60, '*'),
};

TEST(PathSyntax, HostileLinesAreRefusedAtLoad) {
    for (const std::string& line : kHostileLines) {
        const ListLoadResult result = ParsePatternListText("ok.x\n" + line + "\n", "t.txt");
        ASSERT_FALSE(result.ok()) << line;
        EXPECT_EQ(result.failure().lineNumber, 2);
        EXPECT_NE(result.message().find("bad path pattern"), std::string::npos) << result.message();
    }
    EXPECT_NE(Fault("/a" + std::string(24, '+')).find("already repeated"), std::string::npos);
    EXPECT_NE(Fault("/(a*){1,32767}").find("already repeated"), std::string::npos);
    EXPECT_NE(Fault("/a{32767}{32767}").find("above 255"), std::string::npos);
}

TEST(PathSyntax, RepeatingARepetitionIsRefused) {
    for (const char* path : {"/a**", "/a+{2}", "/.*?", "/a{2}{3}", "/(a+)+", "/((a+))*", "/(a*)*", "/x([ab]*)?"}) {
        EXPECT_NE(Fault(path).find("already repeated"), std::string::npos) << path;
    }
    for (const char* path : {"/(a|)+", "/()*", "/(a?b*){2}", "/(x|^)+"}) {
        EXPECT_NE(Fault(path).find("can match nothing"), std::string::npos) << path;
    }
    // A repetition inside a group that is more than that repetition is fine.
    for (const char* path : {"/ads/?(\\?.*)?$", "/(ab+)+", "/(a*b){3}", "/(x|y*z)+"}) {
        EXPECT_EQ(Fault(path), "") << path;
    }
}

TEST(PathSyntax, CountsDepthAndSizeAreBounded) {
    EXPECT_EQ(Fault("/a{255}"), "");
    EXPECT_NE(Fault("/a{256}"), "");
    EXPECT_NE(Fault("/a{1,256}"), "");
    EXPECT_NE(Fault("/a{99999999999999999999}"), "");
    EXPECT_EQ(Fault("/" + Repeated("(", 15) + "a" + Repeated(")", 15)), "");
    EXPECT_NE(Fault("/" + Repeated("(", 16) + "a" + Repeated(")", 16)).find("nested"), std::string::npos);
    EXPECT_NE(Fault("/" + Repeated("(", 40) + "a").find("nested"), std::string::npos);
    // Sizes multiply through groups: 2 * 255 fits, 3 * 255 does not.
    EXPECT_EQ(Fault("/(.*x){1,255}"), "");
    EXPECT_NE(Fault("/((a|b)*c){1,255}").find("copies"), std::string::npos);
    EXPECT_NE(Fault("/((ab){20}c){20}"), "");
    EXPECT_NE(Fault("/" + Repeated("(x", 10) + Repeated(")+", 10)), "");  // 2 to the 10th
    EXPECT_NE(Fault(std::string(1100, 'a')).find("longer"), std::string::npos);
}

TEST(PathSyntax, MalformedPathsAreNamedBeforeTheEngineSeesThem) {
    for (const char* path : {"/a{x}", "/a{}", "/a{1", "/a{1,2", "/a{ 1}"}) {
        EXPECT_NE(Fault(path).find("count"), std::string::npos) << path;
    }
    EXPECT_NE(Fault("/a{3,2}").find("below"), std::string::npos);
    EXPECT_NE(Fault("/(ads"), "");
    EXPECT_NE(Fault("/[ads"), "");
    EXPECT_NE(Fault("/ads\\"), "");
    EXPECT_NE(Fault("/(a)\\1").find("back-reference"), std::string::npos);
    // The forms the engine reads as counts, and characters it reads as such.
    for (const char* path :
         {"/a{,3}", "/a{,}", "/a{0}b", "/a{2,}", "/a)b", "/[]a]{2}", "/[(*]x", "/\\(*x", "/a\\\\1"}) {
        EXPECT_EQ(Fault(path), "") << path;
    }
}

// The GNU matcher heeds an anchor in the first copy of what "+" or a count
// repeats and not in the others ("/(a|b$/c)+d" matches "/ab/cd"), so an
// anchor may not stand there; "*", "?" and a count of one make no copies.
TEST(PathSyntax, AnchorsInRepeatedCopiesAreRefused) {
    for (const char* path : {"/(a|b$/c)+d", "/(x|\\<y){2}", "/((a|^b)c)+", "/(\\bx){1,}", "/(a$|b){0,2}"}) {
        EXPECT_NE(Fault(path).find("anchor"), std::string::npos) << path;
    }
    for (const char* path : {"/(a|b$/c)*d", "/(x|\\<y)?", "/(a$){1}", "/(\\bx){0,1}", "/(a|b)+$", "/\\<(ab)+\\>"}) {
        EXPECT_EQ(Fault(path), "") << path;
    }
}

// A path refused for its size or for what it repeats is still read to its
// end, so its tree is whole and later faults do not replace the first
// reason; any other fault stops the reading and leaves no tree.
TEST(PathSyntax, RefusedPathsKeepTheFirstReasonAndATreeOnlyWhenWhole) {
    for (const char* path : {"/a**", "/(a|)+", "/(x|\\<y){2}", "/((a|b)*c){1,255}"}) {
        const ParsedPath parsed = ParsePath(path);
        EXPECT_FALSE(parsed.status.ok()) << path;
        EXPECT_TRUE(parsed.tree) << path;
    }
    for (const char* path : {"/(ads", "/[ads", "/a{3,2}", "/a{256}", "/(a)\\1", "/[[:nope:]]", "/[z-a]", "/[[.ab.]]"}) {
        const ParsedPath parsed = ParsePath(path);
        EXPECT_FALSE(parsed.status.ok()) << path;
        EXPECT_FALSE(parsed.tree) << path;
    }
    EXPECT_NE(Fault("/a**\\1").find("already repeated"), std::string::npos);
    EXPECT_NE(Fault("/()*[z-a]").find("can match nothing"), std::string::npos);
    EXPECT_NE(Fault("/(\\bx){2}(").find("anchor"), std::string::npos);
    EXPECT_NE(Fault("/a{3,2}**").find("below"), std::string::npos);
    // Operators with nothing before them are dropped after a refusal as before it.
    EXPECT_EQ(ParsePath("/a**|*b").expression, "^(/a**|b)");
}

TEST(PathSyntax, WhatTheScanAcceptsTheEngineCompiles) {
    const char* paths[] = {"/a{,3}",        "/a{,}",           "/a{0}b",     "/a)b",         "/[]a]{2}",
                           "/(.*x){1,255}", "/ads/?(\\?.*)?$", "/(ab+)+",    "/\\<*ads\\>+", "/(*ads)",
                           "/x|*y",         "/[[:alpha:]]+",   "/\\w+\\.gif"};
    for (const char* path : paths) {
        ASSERT_EQ(Fault(path), "") << path;
        regex_t re;
        EXPECT_EQ(regcomp(&re, ParsePath(path).expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB), 0) << path;
        regfree(&re);
    }
}

TEST(PathSyntax, TheShippedListIsAccepted) {
    const ListLoadResult result = LoadPatternListChecked(TAMSEL_SOURCE_DIR "/lists/BlockList.txt");
    ASSERT_TRUE(result.ok()) << result.failure().lineNumber << ": " << result.message();
    EXPECT_GT(result.value()->entries.size(), 500u);
}

// The costliest paths the parse lets through, two to a 1 KB line (lines fall
// into pieces of 511 bytes), load and match.
TEST(PathSyntax, WorstAcceptedLinesLoad) {
    const std::string filler(511 - std::string("/(.*[]){1,255}").size(), 'q');
    const std::string piece = "/(.*[" + filler + "]){1,255}";
    ASSERT_EQ(piece.size(), 511u);
    ASSERT_EQ(Fault(piece), "");
    std::string text;
    for (int i = 0; i < 8; ++i) text += piece + piece + "\n";
    const auto list = ParsePatternListText(text, "worst.txt").value();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 16u);
    const auto match = [&](const char* url) {
        RequestUrl request;
        ParseRequestUrl(url, nullptr, &request);
        return testing::Refuses(list.get(), request) ? 1 : 0;
    };
    EXPECT_EQ(match("http://h.x/q/q/q"), 1);
    EXPECT_EQ(match("http://h.x/a/b/c"), 0);
}

// Lists load without compiling their paths, so the parse must refuse every
// path the engine would: random paths from the pieces that trouble the
// engine, brackets above all, compiled when the parse lets them through.
TEST(PathSyntax, WhatTheScanAcceptsCompiles) {
    const char* const pieces[] = {
        "a",         "Z",        "_",     "-",      "]",     "[",     "^",      ":",    ".", "=", "[:alpha:]",
        "[:alnum:]", "[:nope:]", "[=a=]", "[=ab=]", "[.a.]", "[.-.]", "[.ab.]", "(",    ")", "|", "*",
        "+",         "?",        "{1}",   "{2,1}",  "\\",    "\\.",   "$",      "\xe9", "}", "{", ","};
    testing::Lcg next(4242);
    int accepted = 0;
    int refusedByBoth = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string path = "/";
        for (uint32_t n = 1 + next(6); n > 0; --n) path += pieces[next(std::size(pieces))];
        const std::string expression = ParsePath(path).expression;
        regex_t re;
        const bool compiles = regcomp(&re, expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB) == 0;
        regfree(&re);
        const bool scanAccepts = ParsePath(path).status.ok();
        if (scanAccepts) {
            ++accepted;
            EXPECT_TRUE(compiles) << "the parse accepts " << path << ", which does not compile";
        }
        refusedByBoth += !scanAccepts && !compiles;
    }
    EXPECT_GT(accepted, 3000);
    EXPECT_GT(refusedByBoth, 3000);
}

}  // namespace
}  // namespace tamsel
