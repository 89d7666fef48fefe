#include "patterns/path_regex.h"

#include <gtest/gtest.h>

#include <string>

namespace tamsel {
namespace {

bool Match(const char* pattern, const char* path) {
    auto re = PathRegex::Compile(pattern);
    EXPECT_TRUE(re) << pattern;
    return re && re->Matches(path);
}

TEST(PathRegex, AnchoredAtTheStartOnlyAndBlindToCase) {
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

TEST(PathRegex, AlternationIsAnchoredAsAWhole) {
    EXPECT_TRUE(Match("/a|/b", "/b/x"));
    EXPECT_FALSE(Match("/a|/b", "/x/b"));
}

TEST(PathRegex, RepetitionWithNothingBeforeItIsIgnored) {
    EXPECT_EQ(AnchoredExpression("/(*ads)"), "^(/(ads))");
    EXPECT_EQ(AnchoredExpression("/x|*y"), "^(/x|y)");
    EXPECT_EQ(AnchoredExpression("/(+?*a|{b)"), "^(/(a|b))");
    EXPECT_EQ(AnchoredExpression("*/a"), "^(/a)");
    // Inside brackets and after a backslash these are plain characters.
    EXPECT_EQ(AnchoredExpression("/[(*]x"), "^(/[(*]x)");
    EXPECT_EQ(AnchoredExpression("/[]|*]x"), "^(/[]|*]x)");
    EXPECT_EQ(AnchoredExpression("/[[:alpha:](*]"), "^(/[[:alpha:](*])");
    EXPECT_EQ(AnchoredExpression("/\\(*x"), "^(/\\(*x)");
    // After an anchor there is nothing to repeat either.
    EXPECT_EQ(AnchoredExpression("/a$*b"), "^(/a$b)");
    EXPECT_EQ(AnchoredExpression("/\\<*ads\\>+"), "^(/\\<ads\\>)");
    EXPECT_EQ(AnchoredExpression("/\\b?x"), "^(/\\bx)");
    EXPECT_TRUE(Match("/\\<*ads", "/ads/1"));
    EXPECT_TRUE(Match("/(*ads)", "/ads/1"));
    EXPECT_TRUE(Match("/x|*y", "y"));
}

TEST(PathRegex, ErrorsAreReported) {
    const Result<PathRegex> open = PathRegex::Compile("/ads/(");
    EXPECT_FALSE(open);
    EXPECT_FALSE(open.message().empty());
    EXPECT_FALSE(PathRegex::Compile("/[a"));
}

// The engine's back-reference matcher can recurse until the stack of the
// sending thread overflows: such a path is refused at load.
TEST(PathRegex, BackReferencesAreRefused) {
    const Result<PathRegex> backReference = PathRegex::Compile("/(|)(\\2\\2)*");
    EXPECT_FALSE(backReference);
    EXPECT_NE(backReference.message().find("back-reference"), std::string::npos) << backReference.message();
    EXPECT_FALSE(PathRegex::Compile("/(a)\\1"));
    EXPECT_TRUE(PathRegex::Compile("/[\\1]x"));  // in brackets: a backslash and a one
    EXPECT_TRUE(PathRegex::Compile("/a\\\\1"));  // an escaped backslash, then a one
}

TEST(PathRegex, LiteralShortcutAgreesWithTheEngine) {
    // Plain paths skip the engine; the answer must be the engine's.
    for (const char* path : {"/ads/", "/ADS/x", "/ad", "/", "/ads/\xe9", "/adz/"}) {
        auto literal = PathRegex::Compile("/ads/");
        auto engine = PathRegex::Compile("/ads/()");  // same language, no shortcut
        ASSERT_TRUE(literal && engine);
        EXPECT_EQ(literal->Matches(path), engine->Matches(path)) << path;
    }
}

}  // namespace
}  // namespace tamsel
