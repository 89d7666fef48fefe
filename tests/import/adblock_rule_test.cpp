// Each shape of adblock-style rule, judged through the written list.
#include <gtest/gtest.h>

#include <random>

#include "import/adblock_rule.h"
#include "imported_list.h"

namespace tamsel {
namespace {

using testing::ImportedList;

TEST(AdblockImport, HostAnchorsTakeTheHostAndEveryHostBelowIt) {
    const ImportedList list("[Adblock Plus 2.0]\n! a comment\n||ads.example.com^\n||track.example\n"
                            "||media.example.org:8080^\n||cdn.\n||pix.*.example.net^\n||ad*.example.io^\n");
    EXPECT_TRUE(list.Refuses("http://ads.example.com/x.gif"));
    EXPECT_TRUE(list.Refuses("http://a.b.ADS.example.com/"));
    EXPECT_TRUE(list.Refuses("http://track.example/t?x=1"));
    EXPECT_FALSE(list.Refuses("http://example.com/ads.example.com"));
    EXPECT_FALSE(list.Refuses("http://notads.example.com/"));
    EXPECT_TRUE(list.Refuses("http://media.example.org:8080/a"));
    EXPECT_FALSE(list.Refuses("http://media.example.org/a"));
    // A host that goes on with any ending, and wildcard labels.
    EXPECT_TRUE(list.Refuses("http://cdn.io/lib.js"));
    EXPECT_FALSE(list.Refuses("http://mycdn.io/lib.js"));
    EXPECT_TRUE(list.Refuses("http://pix.eu.example.net/p"));
    EXPECT_TRUE(list.Refuses("http://adserver.example.io/p"));
    EXPECT_FALSE(list.Refuses("http://xad.example.io/p"));
    EXPECT_EQ(list.converted().blocks.size(), 6u);
}

TEST(AdblockImport, HostWithAPathAnchorsThePathAtItsStart) {
    const ImportedList list("||example.com/ads/\n||example.com^*/banner.\n||example.com/pixel|\n"
                            "||example.com/a^\n||example.com/ad.js?v=(1)+[x]{2}\n||example.com*&utm=\n");
    EXPECT_TRUE(list.Refuses("http://example.com/ads/1.gif"));
    EXPECT_TRUE(list.Refuses("http://www.example.com/ads/"));
    EXPECT_FALSE(list.Refuses("http://example.com/x/ads/"));
    EXPECT_FALSE(list.Refuses("http://other.com/ads/"));
    EXPECT_TRUE(list.Refuses("http://example.com/img/top/banner.gif"));
    EXPECT_FALSE(list.Refuses("http://example.com/bannerxgif"));
    EXPECT_TRUE(list.Refuses("http://example.com/pixel"));
    EXPECT_FALSE(list.Refuses("http://example.com/pixel?id=1"));
    // "^" after a path: a separator or the end, never a letter, digit or "-_.%".
    for (const char* url : {"http://example.com/a", "http://example.com/a?x", "http://example.com/a/b",
                            "http://example.com/a:1", "http://example.com/a&b"})
        EXPECT_TRUE(list.Refuses(url)) << url;
    for (const char* url : {"http://example.com/ab", "http://example.com/a1", "http://example.com/a-b",
                            "http://example.com/a.b", "http://example.com/a_b", "http://example.com/a%20"})
        EXPECT_FALSE(list.Refuses(url)) << url;
    // Every byte the engine reads as an operator stands for itself.
    EXPECT_TRUE(list.Refuses("http://example.com/ad.js?v=(1)+[x]{2}"));
    EXPECT_FALSE(list.Refuses("http://example.com/adxjs?v=(1)+[x]{2}"));
    EXPECT_FALSE(list.Refuses("http://example.com/ad.js?v=11x2"));
    // "*" right after the host may take the path's own "/".
    EXPECT_TRUE(list.Refuses("http://example.com/?a=1&utm=2"));
}

TEST(AdblockImport, PlainRulesAreFoundAnywhereInThePath) {
    const ImportedList list("-ad-300x250.\n&rb=&uuid=$third-party\n/banner/*/img^\n.swf|\n*/adframe/*\n");
    EXPECT_TRUE(list.Refuses("http://x.com/img/top-ad-300x250.gif"));
    EXPECT_TRUE(list.Refuses("http://x.com/p?a=1&rb=&uuid=7"));
    EXPECT_TRUE(list.Refuses("http://x.com/a/banner/big/img?1"));
    EXPECT_FALSE(list.Refuses("http://x.com/a/banner/big/imgs"));
    EXPECT_TRUE(list.Refuses("http://x.com/movie.swf"));
    EXPECT_FALSE(list.Refuses("http://x.com/movie.swf?x"));
    EXPECT_TRUE(list.Refuses("http://x.com/a/adframe/b"));
    EXPECT_FALSE(list.Refuses("http://x.com/top-ad-300x250"));
    EXPECT_EQ(list.converted().droppedOptions.at("third-party"), 1);
}

TEST(AdblockImport, ExceptionsOverrideBlocksAndImportantBlocksOverrideExceptions) {
    // The exception stands before the block in the source: order in the
    // source does not matter, exceptions always win over plain blocks.
    const ImportedList list("@@||ads.example.com/help/\n||ads.example.com^\n@@||t.example^$script\n"
                            "||t.example/pixel$important\n@@/keep-me/*\n/ads/*\n");
    EXPECT_TRUE(list.Refuses("http://ads.example.com/banner"));
    EXPECT_FALSE(list.Refuses("http://ads.example.com/help/faq"));
    EXPECT_TRUE(list.Refuses("http://t.example/pixel"));
    EXPECT_FALSE(list.Refuses("http://t.example/other"));
    EXPECT_TRUE(list.Refuses("http://x.com/ads/1"));
    EXPECT_FALSE(list.Refuses("http://x.com/ads/keep-me/1"));
    EXPECT_EQ(list.converted().exceptions.size(), 3u);
    EXPECT_EQ(list.converted().importantBlocks.size(), 1u);
}

TEST(AdblockImport, OptionsThatWouldBlockTheWrongThingSkipTheRule) {
    const ImportedList list(
        "||popup.example^$popup\n||dom.example^$domain=news.example\n||neg.example^$domain=~news.example\n"
        "||csp.example^$csp=script-src 'none'\n||red.example/a.js$script,redirect=noop.js\n"
        "||prm.example^$removeparam=utm\n@@||page.example^$document\n@@||gh.example^$generichide\n"
        "||m.example/a$method=post\n||odd.example^$frobnicate\n||ok.example^$script,~third-party,image\n"
        "||doc.example^$document\n");
    for (const char* url :
         {"http://popup.example/", "http://dom.example/", "http://neg.example/", "http://csp.example/",
          "http://red.example/a.js", "http://prm.example/", "http://m.example/a", "http://odd.example/"})
        EXPECT_FALSE(list.Refuses(url)) << url;
    EXPECT_TRUE(list.Refuses("http://ok.example/"));
    EXPECT_TRUE(list.Refuses("http://doc.example/"));
    EXPECT_EQ(list.SkipReason(1), "option popup");
    EXPECT_EQ(list.SkipReason(2), "option domain");
    EXPECT_EQ(list.SkipReason(7), "option document");
    EXPECT_EQ(list.SkipReason(8), "option generichide");
    EXPECT_EQ(list.SkipReason(10), "option frobnicate");
    EXPECT_EQ(list.converted().written(), 2u);
    EXPECT_EQ(list.converted().droppedOptions.at("~third-party"), 1);
    EXPECT_EQ(list.converted().droppedOptions.at("document"), 1);
}

TEST(AdblockImport, BadfilterTakesBackTheRuleItNames) {
    const ImportedList list("||gone.example^$script\n||kept.example^$image\n||gone.example^$script,badfilter\n"
                            "||kept.example^$script,badfilter\n");
    EXPECT_FALSE(list.Refuses("http://gone.example/"));
    EXPECT_TRUE(list.Refuses("http://kept.example/"));
    EXPECT_EQ(list.SkipReason(1), "taken back by a badfilter rule");
    EXPECT_EQ(list.SkipReason(3), "option badfilter");
}

TEST(AdblockImport, WhatOurListsCannotSayIsSkippedWithAReason) {
    const std::string longPath = "||long.example/" + std::string(600, 'a');
    const ImportedList list("##.ad-banner\nexample.com##.ad\nexample.com#@#.ad\nexample.com#?#div:has(.ad)\n"
                            "example.com##+js(noop)\n/ban+er[0-9]/\n*$third-party\n||ex*ample.com^\n"
                            "|javascript:\n/ad#frag\n" +
                            longPath +
                            "\n!#if ext_x\n||cond.example^\n!#endif\n"
                            "example.com$$script[src]\n||\xC3\xBC.example^\n||host.example?x\n");
    const char* reasons[] = {"cosmetic rule",
                             "cosmetic rule",
                             "cosmetic rule",
                             "cosmetic rule",
                             "cosmetic rule",
                             "regular expression",
                             "matches every address",
                             "wildcard inside a host label",
                             "anchored at the start of a non-http address",
                             "holds #",
                             "longer than a list line",
                             "",
                             "inside a !#if block",
                             "",
                             "HTML filter",
                             "holds non-ASCII text",
                             "text after the host"};
    for (int line = 1; line <= 17; ++line) EXPECT_EQ(list.SkipReason(line), reasons[line - 1]) << line;
    EXPECT_EQ(list.converted().written(), 0u);
    EXPECT_FALSE(list.Refuses("http://long.example/" + std::string(600, 'a')));
    EXPECT_FALSE(list.Refuses("http://cond.example/"));
}

TEST(AdblockImport, StartAnchoredHttpAddressesReadAsHosts) {
    const ImportedList list("|http://r.example^\n|https://s.example/path/\n");
    EXPECT_TRUE(list.Refuses("http://r.example/x"));
    EXPECT_TRUE(list.Refuses("http://s.example/path/1"));
    EXPECT_FALSE(list.Refuses("http://s.example/other"));
}

// Rules made of the bytes that matter to the converter and the engine are
// either skipped with a reason or written as a line the loader takes.
TEST(AdblockImport, RandomRulesNeverGiveALineTheLoaderRefuses) {
    const std::string alphabet = "|^*$/.?+()[]{}\\~@:=,-_%&ab1";
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        std::string rule;
        const int length = 1 + static_cast<int>(random() % 14);
        for (int j = 0; j < length; ++j) rule += alphabet[random() % alphabet.size()];
        const import::RuleOutcome outcome = import::ConvertAdblockRule(rule);
        if (!outcome.written) continue;
        const ListLoadResult loaded = ParsePatternListText(outcome.line + "\n", "random");
        EXPECT_TRUE(loaded.ok()) << rule << " -> " << outcome.line << ": " << loaded.message();
    }
}

}  // namespace
}  // namespace tamsel
