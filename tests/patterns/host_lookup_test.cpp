// Whether a host is refused whatever is asked of it, against the verdicts
// the lists give its requests one by one.
#include <gtest/gtest.h>

#include <string>

#include "patterns/judge.h"
#include "support/list_set.h"
#include "support/random_lines.h"

namespace tamsel {
namespace {

using Lists = testing::OwnedLists;
using testing::MakeLists;

bool WhollyRefused(const Lists& lists, const char* host) {
    return JudgeWhollyRefused(host, kAnyPort, lists.view()).verdict == Verdict::Refused;
}

TEST(JudgeWhollyRefused, OnlyAHostAndPortFreeLineRefusesAHost) {
    const Lists lists = MakeLists("", "mine.x\nport.x:8080\n", "ads.x\npath.x/banners/\n*.wild.x\nad*.y\n");
    for (const char* host : {"mine.x", "a.mine.x", "ADS.X", "ads.x.", "a.wild.x", "ads.y"}) {
        EXPECT_TRUE(WhollyRefused(lists, host)) << host;
    }
    for (const char* host : {"port.x", "path.x", "wild.x", "x", "bads.x", "ads.xy", "", "..."}) {
        EXPECT_FALSE(WhollyRefused(lists, host)) << host;
    }
    const Judgement judgement = JudgeWhollyRefused("a.mine.x", kAnyPort, lists.view());
    EXPECT_EQ(judgement.list, lists.userBlock.get());
    EXPECT_EQ(judgement.list->Text(*judgement.entry), "mine.x");
}

TEST(JudgeWhollyRefused, AnyTrustLineThatCouldMatchKeepsTheHost) {
    EXPECT_FALSE(WhollyRefused(MakeLists("good.ads.x/only/this\n", "", "ads.x\n"), "good.ads.x"));
    EXPECT_FALSE(WhollyRefused(MakeLists("ads.x:8443\n", "", "ads.x\n"), "ads.x"));
    EXPECT_FALSE(WhollyRefused(MakeLists("/free/\n", "", "ads.x\n"), "ads.x"));  // no host: every host
    EXPECT_FALSE(WhollyRefused(MakeLists("~ads.x\n", "", "ads.x\n"), "ads.x"));
    EXPECT_TRUE(WhollyRefused(MakeLists("good.ads.x\n", "", "ads.x\n"), "other.ads.x"));
}

TEST(JudgeWhollyRefused, AnExceptionAfterTheLineInItsListKeepsTheHost) {
    EXPECT_FALSE(WhollyRefused(MakeLists("", "", "ads.x\n~ads.x/keep/\n"), "ads.x"));
    EXPECT_FALSE(WhollyRefused(MakeLists("", "", "ads.x\n~/keep/\n"), "ads.x"));
    EXPECT_FALSE(WhollyRefused(MakeLists("", "", "ads.x\n~*.x:81\n"), "ads.x"));
    // Before the line it is tried later and never decides.
    EXPECT_TRUE(WhollyRefused(MakeLists("", "", "~ads.x/keep/\nads.x\n"), "ads.x"));
    EXPECT_TRUE(WhollyRefused(MakeLists("", "", "ads.x\n~other.x\n"), "ads.x"));
    // The other block list still refuses it.
    EXPECT_TRUE(WhollyRefused(MakeLists("", "ads.x\n", "ads.x\n~ads.x/keep/\n"), "ads.x"));
    EXPECT_TRUE(WhollyRefused(MakeLists("", "ads.x\n~ads.x/keep/\n", "ads.x\n"), "ads.x"));
    EXPECT_FALSE(WhollyRefused(Lists{}, "ads.x"));
}

// Random lists over a small alphabet, so that hosts, ports, paths and
// exceptions often meet: whenever the lookup refuses a host, every request
// to it on any port and path is refused too.
TEST(JudgeWhollyRefused, NeverRefusesAHostWithARequestThatWouldPass) {
    const char* const ports[] = {"", "", "", ":80", ":8080"};
    const char* const paths[] = {"", "", "", "/p", "/*.*q", "/"};
    testing::Lcg next(777);
    auto randomList = [&](int lines) { return testing::RandomHostLines(next, lines, ports, paths); };
    int refusedHosts = 0;
    for (int round = 0; round < 300; ++round) {
        const std::string texts[3] = {next(3) == 0 ? randomList(2) : "", randomList(4), randomList(8)};
        const Lists lists = MakeLists(texts[0], texts[1], texts[2]);
        for (int probe = 0; probe < 10; ++probe) {
            std::string host;
            const uint32_t depth = 1 + next(3);
            for (uint32_t i = 0; i < depth; ++i)
                host += std::string(i ? "." : "") + testing::kRandomLabels[next(3) * 2 % 6];
            if (!WhollyRefused(lists, host.c_str())) continue;
            ++refusedHosts;
            for (const char* port : {"", ":80", ":443", ":8080"}) {
                for (const char* path : {"/", "/p", "/q", "/a.q/b", "/keep"}) {
                    RequestUrl url;
                    const std::string line = "http://" + host + port + path;
                    ParseRequestUrl(line.c_str(), nullptr, &url);
                    EXPECT_EQ(JudgeRequest(testing::ViewOf(url), lists.view()).verdict, Verdict::Refused)
                        << line << "\ntrust:\n"
                        << texts[0] << "user:\n"
                        << texts[1] << "shipped:\n"
                        << texts[2];
                }
            }
        }
    }
    EXPECT_GT(refusedHosts, 100);  // the lists do refuse hosts often enough to test
}

TEST(JudgeWhollyRefused, AServerNameIsRefusedOnlyByPathFreeLines) {
    const Lists lists = MakeLists("good.x/\n", "", "ads.x/banners/\nads.y\n/\n");
    auto judge = [&](const char* host) { return JudgeWhollyRefused(host, 443, lists.view()).verdict; };
    EXPECT_EQ(judge("ads.x"), Verdict::Passed);
    EXPECT_EQ(judge("ads.y"), Verdict::Refused);
    EXPECT_EQ(judge("good.x"), Verdict::Passed);  // a trust line with a path trusts no name
}

}  // namespace
}  // namespace tamsel
