#include "patterns/matcher.h"

#include <gtest/gtest.h>

#include "patterns/judge.h"

namespace tamsel {
namespace {

std::unique_ptr<PatternList> List(const std::string& text) {
    auto list = ParsePatternListText(text, "list.txt").list;
    EXPECT_TRUE(list) << text;
    return list;
}

int Match(const PatternList* list, const char* url) {
    RequestUrl request;
    ParseRequestUrl(url, nullptr, &request);
    return MatchPatternList(&request, list);
}

TEST(MatchPatternList, LastMatchingLineDecides) {
    const auto exceptionLast = List("ads.x\n~ads.x/keep/\n");
    EXPECT_EQ(Match(exceptionLast.get(), "http://ads.x/keep/a.gif"), 0);
    EXPECT_EQ(Match(exceptionLast.get(), "http://ads.x/other"), 1);

    const auto exceptionFirst = List("~ads.x/keep/\nads.x\n");
    EXPECT_EQ(Match(exceptionFirst.get(), "http://ads.x/keep/a.gif"), 1);
    EXPECT_EQ(Match(exceptionFirst.get(), "http://ads.x/other"), 1);
}

TEST(MatchPatternList, HostsCompareLabelByLabelFromTheRight) {
    const auto plain = List("ads.x\n");
    EXPECT_EQ(Match(plain.get(), "http://ads.x/"), 1);
    EXPECT_EQ(Match(plain.get(), "http://b.ads.x/"), 1);
    EXPECT_EQ(Match(plain.get(), "http://x/"), 0);
    EXPECT_EQ(Match(plain.get(), "http://ads.xy/"), 0);
    EXPECT_EQ(Match(plain.get(), "http://bads.x/"), 0);

    const auto wildLabel = List("*.ads.x\n");
    EXPECT_EQ(Match(wildLabel.get(), "http://a.ads.x/"), 1);
    EXPECT_EQ(Match(wildLabel.get(), "http://b.a.ads.x/"), 1);
    EXPECT_EQ(Match(wildLabel.get(), "http://ads.x/"), 0);

    const auto wildTail = List("ad*.c\n");
    EXPECT_EQ(Match(wildTail.get(), "http://ad.c/"), 1);
    EXPECT_EQ(Match(wildTail.get(), "http://ads.c/"), 1);
    EXPECT_EQ(Match(wildTail.get(), "http://adserver.c/"), 1);
    EXPECT_EQ(Match(wildTail.get(), "http://bad.c/"), 0);

    const auto upper = List("AD.X\n");
    RequestUrl request;
    ParseRequestUrl("GET /a HTTP/1.0", "Ad.X", &request);
    EXPECT_EQ(MatchPatternList(&request, upper.get()), 1);

    const auto star = List("*\n");
    EXPECT_EQ(Match(star.get(), "http://anything.at.all/"), 1);
    EXPECT_EQ(Match(star.get(), "/relative"), 1);  // host "localhost"
}

TEST(MatchPatternList, PortsAndPaths) {
    const auto ported = List("ads.x:8080\n");
    EXPECT_EQ(Match(ported.get(), "http://ads.x:8080/"), 1);
    EXPECT_EQ(Match(ported.get(), "http://ads.x/"), 0);
    const auto anyPort = List("ads.x\n");
    EXPECT_EQ(Match(anyPort.get(), "http://ads.x:8080/"), 1);

    const auto contains = List("/*.*/banners\n");
    EXPECT_EQ(Match(contains.get(), "http://h.y/img/banners/1.gif"), 1);
    EXPECT_EQ(Match(contains.get(), "http://h.y/img/Banners/1.gif"), 1);
    EXPECT_EQ(Match(contains.get(), "http://h.y/img/banner.gif"), 0);

    const auto prefix = List("/image/banners\n");
    EXPECT_EQ(Match(prefix.get(), "http://h.y/image/banners2/a.gif"), 1);
    EXPECT_EQ(Match(prefix.get(), "http://h.y/x/image/banners"), 0);

    const auto queryToo = List("/track\\?id=\n");
    EXPECT_EQ(Match(queryToo.get(), "http://h.y/track?id=3"), 1);
}

TEST(MatchPatternList, NothingToMatch) {
    const auto empty = List("# nothing\n");
    EXPECT_EQ(Match(empty.get(), "http://ads.x/"), 0);
    EXPECT_EQ(Match(nullptr, "http://ads.x/"), 0);
    const auto star = List("*\n/\n:80\n");
    RequestUrl noHost;
    ParseRequestUrl("GET /x HTTP/1.0", nullptr, &noHost);
    EXPECT_EQ(MatchPatternList(&noHost, star.get()), 0);  // even path- and port-only lines
    EXPECT_EQ(MatchPatternList(nullptr, star.get()), 0);
    RequestUrl dotsOnly;
    ParseRequestUrl("GET /x HTTP/1.0", "...", &dotsOnly);
    EXPECT_EQ(MatchPatternList(&dotsOnly, star.get()), 0);
    std::string manyLabels;
    for (int i = 0; i < 513; ++i) manyLabels += "a.";
    RequestUrl tooMany;
    ParseRequestUrl("GET /x HTTP/1.0", manyLabels.c_str(), &tooMany);
    EXPECT_EQ(MatchPatternList(&tooMany, star.get()), 0);
}

TEST(MatchHostLabels, PairsFromTheRight) {
    auto covers = [](const char* pattern, const char* host) {
        return MatchHostLabels(SplitHostLabels(pattern), SplitHostLabels(host));
    };
    EXPECT_TRUE(covers("b.c", "a.b.c"));
    EXPECT_TRUE(covers("", "a.b.c"));
    EXPECT_TRUE(covers("*", "c"));
    EXPECT_FALSE(covers("a.b.c", "b.c"));
    EXPECT_TRUE(covers("a*x.c", "abc.c"));   // nothing after "*" is looked at
    EXPECT_FALSE(covers("ab.c", "a.c"));
    EXPECT_TRUE(covers("\xc9T\xc9.c", "\xc9t\xc9.C"));  // only A to Z fold
    EXPECT_FALSE(covers("\xe9.c", "\xc9.c"));
}

TEST(JudgeRequestUrl, TrustOverridesBothBlockLists) {
    const auto trust = List("good.x\n");
    const auto userBlock = List("good.x\nmine.x\n");
    const auto shippedBlock = List("good.x\nads.x\n~ads.x/keep\n");
    const ListSet lists{trust.get(), userBlock.get(), shippedBlock.get()};
    auto judge = [&](const char* url) {
        RequestUrl request;
        ParseRequestUrl(url, nullptr, &request);
        return JudgeRequestUrl(request, lists);
    };
    const Judgement trusted = judge("http://good.x/");
    EXPECT_EQ(trusted.verdict, Verdict::Trusted);
    EXPECT_EQ(trusted.list, lists.trust);
    EXPECT_EQ(trusted.entry->lineNumber, 1);

    const Judgement user = judge("http://a.mine.x/");
    EXPECT_EQ(user.verdict, Verdict::Refused);
    EXPECT_EQ(user.list, lists.userBlock);
    EXPECT_EQ(user.entry->text, "mine.x");

    EXPECT_EQ(judge("http://ads.x/z").verdict, Verdict::Refused);
    const Judgement excepted = judge("http://ads.x/keep");
    EXPECT_EQ(excepted.verdict, Verdict::Passed);
    ASSERT_NE(excepted.entry, nullptr);
    EXPECT_EQ(excepted.entry->positive, 0);

    EXPECT_EQ(judge("http://other.y/").verdict, Verdict::Passed);
    EXPECT_EQ(JudgeRequestUrl(RequestUrl{}, ListSet{}).verdict, Verdict::Passed);
}

}  // namespace
}  // namespace tamsel

namespace tamsel {
namespace {

// The entries a host could match are found through an index; the answer
// must still be the first passing entry in chain order, whichever bucket
// each entry was filed in.
TEST(FindDecidingEntry, ChainOrderHoldsAcrossIndexBuckets) {
    const auto list = List("ads.x\n~*.x/keep/\n/keep/deep/\n");
    EXPECT_EQ(Match(list.get(), "http://ads.x/keep/deep/a"), 1);  // line 3, filed for every host
    EXPECT_EQ(Match(list.get(), "http://ads.x/keep/a"), 0);       // line 2, filed under "x"
    EXPECT_EQ(Match(list.get(), "http://ads.x/other"), 1);        // line 1, filed under "ads.x"
    EXPECT_EQ(Match(list.get(), "http://b.x/other"), 0);
}

// The indexed walk against a plain walk of the whole chain, over random
// lists and hosts drawn from a small alphabet so that they often meet.
TEST(FindDecidingEntry, AgreesWithAWalkOfTheWholeChain) {
    const char* const labels[] = {"a", "b", "ad", "ads", "*", "ad*", "x", "y"};
    const char* const paths[] = {"", "", "/p", "/*.*q", "/(p|q)"};
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    int decided = 0;
    for (int round = 0; round < 200; ++round) {
        std::string text;
        for (int line = 0; line < 12; ++line) {
            if (next(4) == 0) text += "~";
            const uint32_t depth = next(4);
            for (uint32_t i = 0; i < depth; ++i) text += std::string(i ? "." : "") + labels[next(8)];
            if (next(5) == 0) text += ":8080";
            text += paths[next(5)];
            text += "\n";
        }
        const auto list = List(text);
        ASSERT_TRUE(list);
        for (int probe = 0; probe < 20; ++probe) {
            std::string host;
            const uint32_t depth = 1 + next(4);
            for (uint32_t i = 0; i < depth; ++i) host += std::string(i ? "." : "") + labels[next(4) + (next(2) ? 0 : 2)];
            RequestUrl url;
            const std::string line = "http://" + host + (next(2) ? ":8080" : "") + (next(2) ? "/p" : "/q");
            ParseRequestUrl(line.c_str(), nullptr, &url);
            const HostLabels requestLabels = SplitHostLabels(*url.host);
            const PatternEntry* expected = nullptr;
            for (const PatternEntry& e : list->entries) {
                if (e.port != 0 && e.port != url.port) continue;
                if (!e.host.empty() && !MatchHostLabels(e.labels, requestLabels)) continue;
                if (e.compiledPath && !e.compiledPath->Matches(url.path->c_str())) continue;
                expected = &e;
                break;
            }
            EXPECT_EQ(FindDecidingEntry(url, list.get()), expected) << text << line;
            if (expected != nullptr) ++decided;
        }
    }
    EXPECT_GT(decided, 500);  // the lists and hosts do meet
}

}  // namespace
}  // namespace tamsel
