#include <gtest/gtest.h>

#include <string>

#include "patterns/path_tree.h"
#include "support/list_path.h"

namespace tamsel {
namespace {

bool Match(const char* pattern, const char* path) {
    const testing::ListPath compiled(pattern);
    EXPECT_TRUE(compiled) << pattern;
    return compiled.Matches(path);
}

TEST(ListPath, AnchoredAtTheStartOnlyAndBlindToCase) {
    EXPECT_TRUE(Match("/image/banners", "/image/banners2/a.gif"));
    EXPECT_TRUE(Match("/image/banners", "/IMAGE/Banners"));
    EXPECT_FALSE(Match("/image/banners", "/x/image/banners"));
    EXPECT_FALSE(Match("/image/banners", "/image/banner"));
    EXPECT_TRUE(Match("/*.*/banners", "/img/banners/1.gif"));
    EXPECT_TRUE(Match("/*.*/banners", "/img/Banners/1.gif"));
    EXPECT_FALSE(Match("/*.*/banners", "/img/banner.gif"));
    EXPECT_TRUE(Match("/*.*/sponsors?[0-9]?/", "/a/sponsor7/x"));
    EXPECT_FALSE(Match("/*.*/sponsors?[0-9]?/", "/a/sponsorx/"));
}

TEST(ListPath, AlternationIsAnchoredAsAWhole) {
    EXPECT_TRUE(Match("/a|/b", "/b/x"));
    EXPECT_FALSE(Match("/a|/b", "/x/b"));
}

TEST(ListPath, RepetitionWithNothingBeforeItIsIgnored) {
    EXPECT_EQ(ParsePath("/(*ads)").expression, "^(/(ads))");
    EXPECT_EQ(ParsePath("/x|*y").expression, "^(/x|y)");
    EXPECT_EQ(ParsePath("/(+?*a|{b)").expression, "^(/(a|b))");
    EXPECT_EQ(ParsePath("*/a").expression, "^(/a)");
    // Inside brackets and after a backslash these are plain characters.
    EXPECT_EQ(ParsePath("/[(*]x").expression, "^(/[(*]x)");
    EXPECT_EQ(ParsePath("/[]|*]x").expression, "^(/[]|*]x)");
    EXPECT_EQ(ParsePath("/[[:alpha:](*]").expression, "^(/[[:alpha:](*])");
    EXPECT_EQ(ParsePath("/\\(*x").expression, "^(/\\(*x)");
    // After an anchor there is nothing to repeat either.
    EXPECT_EQ(ParsePath("/a$*b").expression, "^(/a$b)");
    EXPECT_EQ(ParsePath("/\\<*ads\\>+").expression, "^(/\\<ads\\>)");
    EXPECT_EQ(ParsePath("/\\b?x").expression, "^(/\\bx)");
    EXPECT_TRUE(Match("/\\<*ads", "/ads/1"));
    EXPECT_TRUE(Match("/(*ads)", "/ads/1"));
    EXPECT_TRUE(Match("/x|*y", "y"));
}

TEST(ListPath, ErrorsAreReported) {
    const testing::ListPath unclosed("/ads/(");
    EXPECT_FALSE(unclosed);
    EXPECT_FALSE(unclosed.error().empty());
    EXPECT_FALSE(testing::ListPath("/[a"));
}

// The engine's back-reference matcher can recurse until the stack of the
// sending thread overflows: such a path is refused at load.
TEST(ListPath, BackReferencesAreRefused) {
    const testing::ListPath loop("/(|)(\\2\\2)*");
    EXPECT_FALSE(loop);
    EXPECT_NE(loop.error().find("back-reference"), std::string::npos) << loop.error();
    EXPECT_FALSE(testing::ListPath("/(a)\\1"));
    EXPECT_TRUE(testing::ListPath("/[\\1]x"));  // in brackets: a backslash and a one
    EXPECT_TRUE(testing::ListPath("/a\\\\1"));  // an escaped backslash, then a one
}

TEST(ListPath, LiteralShortcutAgreesWithTheEngine) {
    // Plain paths skip the engine; the answer must be the engine's.
    for (const char* path : {"/ads/", "/ADS/x", "/ad", "/", "/ads/\xe9", "/adz/"}) {
        const testing::ListPath literal("/ads/");
        const testing::ListPath engine("/ads/()");  // same language, no shortcut
        ASSERT_TRUE(literal && engine);
        EXPECT_EQ(literal.Matches(path), engine.Matches(path)) << path;
    }
}

}  // namespace
}  // namespace tamsel
