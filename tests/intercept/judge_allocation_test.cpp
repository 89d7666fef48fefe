// Judging a request allocates nothing: every gate (the send filter on a
// request head, the server name, the name lookup, the page walk's source
// URL) decides from views into the caller's bytes and from storage on the
// stack, for hosts and paths within the inline bounds.
//
// This program replaces the global operator new (support/allocation_count)
// to count what is allocated between the start of a judgement and its verdict. The lists' path lines
// all have shapes the text shortcut answers, so the regex engine (which a
// line compiles on its first use, and whose C library matcher allocates on
// every run) never runs; a line that needed it would be caught here by the
// compile's own allocations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser/source_judge.h"
#include "client_hello_fixtures.h"
#include "intercept/inspect.h"
#include "intercept/lookup.h"
#include "intercept/server_name.h"
#include "patterns/host_labels.h"
#include "support/allocation_count.h"
#include "support/list_set.h"

namespace tamsel {
namespace {

using testing::MakeLists;
using testing::OwnedLists;

// How many allocations `judge` made.
template <typename Judge>
long AllocationsIn(Judge judge) {
    const long before = testing::AllocationCount();
    judge();
    return testing::AllocationCount() - before;
}

OwnedLists Lists() {
    return MakeLists("ok.example.org\n~ads.example.org/ok\n", "*.tracker.*:8080/pixel\n/ads/\n/*.*/banner.*\\.gif\n",
                     "ads.example.org\nads.example\n*.doubleclick.x/\n~ads.example.org/keep/\n");
}

std::string Head(const std::string& target, const std::string& host) {
    return "GET " + target + " HTTP/1.1\r\nUser-Agent: t\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
}

// Hosts of one and of many labels, up to the inline bounds.
std::vector<std::string> Hosts() {
    std::string manyLabels = "a";  // with ".doubleclick.x", as many labels as fit inline
    for (size_t i = 3; i < HostLabels::kInlineLabels; ++i) manyLabels += ".b";
    const std::string longest = std::string(HostLabels::kInlineBytes - 16, 'L') + ".doubleclick.x";
    return {"localhost",
            "ads.example.org",
            "Ok.Example.Org",
            "Www.Ads.Example.Org",
            "img.tracker.net",
            "fine.y",
            manyLabels + ".doubleclick.x",
            longest};
}

// Paths short and long, up to the inline bound of the lowered path.
std::vector<std::string> Paths() {
    return {"/",
            "/ads/x.gif",
            "/ok",
            "/keep/a",
            "/pixel?id=1",
            "/img/Banner12.GIF?x=1",
            "/" + std::string(2000, 'p') + "/ads/",
            "/" + std::string(2040, 'q')};
}

TEST(JudgeAllocation, RequestHeadsAreJudgedWithoutAllocating) {
    const OwnedLists lists = Lists();
    std::vector<std::string> heads;
    for (const std::string& host : Hosts()) {
        for (const std::string& path : Paths()) {
            heads.push_back(Head(path, host));
            heads.push_back(Head(path, host + ":8080"));
            heads.push_back(Head("http://" + host + path, "other.y"));
        }
    }
    size_t refused = 0, trusted = 0;
    for (const std::string& head : heads) {
        Judgement judgement;
        const auto size = static_cast<int32_t>(head.size());
        EXPECT_EQ(AllocationsIn([&] { judgement = InspectRequestWith(head.data(), size, lists.view()); }), 0)
            << head.substr(0, 120);
        refused += judgement.verdict == Verdict::Refused;
        trusted += judgement.verdict == Verdict::Trusted;
    }
    // Every kind of line took part: hosts, ports, paths, exceptions, trust.
    EXPECT_GT(refused, heads.size() / 4);
    EXPECT_GT(trusted, 0u);
    EXPECT_LT(refused + trusted, heads.size());
}

TEST(JudgeAllocation, SourceUrlsNamesAndServerNamesAreJudgedWithoutAllocating) {
    const OwnedLists lists = Lists();
    size_t refused = 0;
    for (const std::string& host : Hosts()) {
        for (const std::string& path : Paths()) {
            std::string url = "HTTP://" + host + path;
            Judgement judgement;
            EXPECT_EQ(AllocationsIn([&] { judgement = JudgeSourceUrl(url, lists.view()); }), 0) << url.substr(0, 120);
            refused += judgement.verdict == Verdict::Refused;
        }
        EXPECT_EQ(AllocationsIn([&] { refused += InspectLookupWith(host, lists.view()).verdict == Verdict::Refused; }),
                  0)
            << host;
    }
    EXPECT_GT(refused, 10u);
    const std::string& hello = fixtures::kHelloAdsExample;
    Judgement byName;
    EXPECT_EQ(AllocationsIn([&] {
                  byName = InspectClientHelloWith(hello.data(), static_cast<int32_t>(hello.size()), 443, lists.view());
              }),
              0);
    EXPECT_EQ(byName.verdict, Verdict::Refused);
}

// This also shows that the counter sees what the judgement allocates.
TEST(JudgeAllocation, OnlyHostsAndPathsPastTheInlineBoundsAllocate) {
    const OwnedLists lists = Lists();
    std::string manyLabels = "a";
    for (size_t i = 0; i < HostLabels::kInlineLabels; ++i) manyLabels += ".b";
    const std::string heads[] = {
        Head("/", manyLabels + ".doubleclick.x"),
        Head("/", std::string(HostLabels::kInlineBytes, 'L') + ".doubleclick.x"),
        Head("/" + std::string(4096, 'p'), "fine.y"),
    };
    for (const std::string& head : heads) {
        Judgement judgement;
        const auto size = static_cast<int32_t>(head.size());
        EXPECT_GT(AllocationsIn([&] { judgement = InspectRequestWith(head.data(), size, lists.view()); }), 0);
        EXPECT_NE(judgement.verdict, Verdict::Trusted);
    }
}

}  // namespace
}  // namespace tamsel
