#include "patterns/matcher.h"

#include <gtest/gtest.h>

#include "patterns/judge.h"
#include "support/lcg.h"
#include "support/list_set.h"
#include "support/matcher_answer.h"
#include "support/reference_walk.h"

namespace tamsel {
namespace {

std::unique_ptr<PatternList> List(const std::string& text) {
    auto list = ParsePatternListText(text, "list.txt").value();
    EXPECT_TRUE(list) << text;
    return list;
}

int Match(const PatternList* list, const char* url) {
    RequestUrl request;
    ParseRequestUrl(url, nullptr, &request);
    return testing::Refuses(list, request) ? 1 : 0;
}

TEST(ListRefuses, LastMatchingLineDecides) {
    const auto exceptionLast = List("ads.x\n~ads.x/keep/\n");
    EXPECT_EQ(Match(exceptionLast.get(), "http://ads.x/keep/a.gif"), 0);
    EXPECT_EQ(Match(exceptionLast.get(), "http://ads.x/other"), 1);

    const auto exceptionFirst = List("~ads.x/keep/\nads.x\n");
    EXPECT_EQ(Match(exceptionFirst.get(), "http://ads.x/keep/a.gif"), 1);
    EXPECT_EQ(Match(exceptionFirst.get(), "http://ads.x/other"), 1);
}

TEST(ListRefuses, HostsCompareLabelByLabelFromTheRight) {
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
    EXPECT_TRUE(testing::Refuses(upper.get(), request));

    const auto star = List("*\n");
    EXPECT_EQ(Match(star.get(), "http://anything.at.all/"), 1);
    EXPECT_EQ(Match(star.get(), "/relative"), 1);  // host "localhost"
}

TEST(ListRefuses, PortsAndPaths) {
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

TEST(ListRefuses, NothingToMatch) {
    const auto empty = List("# nothing\n");
    EXPECT_EQ(Match(empty.get(), "http://ads.x/"), 0);
    EXPECT_EQ(Match(nullptr, "http://ads.x/"), 0);
    const auto star = List("*\n/\n:80\n");
    RequestUrl noHost;
    ParseRequestUrl("GET /x HTTP/1.0", nullptr, &noHost);
    EXPECT_FALSE(testing::Refuses(star.get(), noHost));  // even path- and port-only lines
    RequestUrl dotsOnly;
    ParseRequestUrl("GET /x HTTP/1.0", "...", &dotsOnly);
    EXPECT_FALSE(testing::Refuses(star.get(), dotsOnly));
    std::string manyLabels;
    for (int i = 0; i < 513; ++i) manyLabels += "a.";
    RequestUrl tooMany;
    ParseRequestUrl("GET /x HTTP/1.0", manyLabels.c_str(), &tooMany);
    EXPECT_FALSE(testing::Refuses(star.get(), tooMany));
}

// Hosts with `count` labels "La", "Lb", ... joined by `dots`.
std::string HostOf(int count, const std::string& dots = ".") {
    std::string host;
    for (int i = 0; i < count; ++i) host += (i ? dots : "") + "L" + static_cast<char>('a' + i % 26);
    return host;
}

TEST(HostLabels, InlineAndHeapStorageGiveTheSameLabels) {
    const auto expectLabels = [](const std::string& host, int count) {
        const HostLabels labels(host);
        ASSERT_EQ(labels.count(), count) << host;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(labels.labels[static_cast<size_t>(i)], "l" + std::string(1, static_cast<char>('a' + i % 26)));
        }
    };
    // Around the inline count of labels, and past it up to the limit.
    for (const int count : {1, 31, 32, 33, 100, kMaxHostLabels}) expectLabels(HostOf(count), count);
    expectLabels(HostOf(kMaxHostLabels + 1), 0);
    expectLabels("." + HostOf(40, "..") + ".", 40);  // empty labels dropped on the heap path too
    // Around the inline text size: 256 bytes, and one more.
    for (const size_t length : {HostLabels::kInlineBytes, HostLabels::kInlineBytes + 1}) {
        const HostLabels one(std::string(length - 2, 'Q') + ".X");
        ASSERT_EQ(one.count(), 2);
        EXPECT_EQ(one.labels[0], std::string(length - 2, 'q'));
        EXPECT_EQ(one.labels[1], "x");
    }
}

TEST(HostLabels, OnlyDotsCutAndOnlyNulAndLineFeedEnd) {
    // Bytes at or below the dot that are neither stay in their label.
    const HostLabels odd("A-B.C+D,E!.x*Y");
    ASSERT_EQ(odd.count(), 3);
    EXPECT_EQ(odd.labels[0], "a-b");
    EXPECT_EQ(odd.labels[1], "c+d,e!");
    EXPECT_EQ(odd.labels[2], "x*y");
    for (const char end : {'\0', '\n'}) {
        const HostLabels cut(std::string("Ads.Ex") + end + "tra.com");
        ASSERT_EQ(cut.count(), 2);
        EXPECT_EQ(cut.labels[1], "ex");
    }
}

TEST(MatchHostPattern, PairsFromTheRight) {
    auto covers = [](const char* pattern, const char* host) {
        return MatchHostPattern(pattern, SplitHostLabels(host));
    };
    EXPECT_TRUE(covers("b.c", "a.b.c"));
    EXPECT_TRUE(covers("", "a.b.c"));
    EXPECT_TRUE(covers("*", "c"));
    EXPECT_FALSE(covers("a.b.c", "b.c"));
    EXPECT_TRUE(covers("a*x.c", "abc.c"));  // nothing after "*" is looked at
    EXPECT_FALSE(covers("ab.c", "a.c"));
    EXPECT_TRUE(covers("\xc9T\xc9.c", "\xc9t\xc9.C"));  // only A to Z fold
    EXPECT_FALSE(covers("\xe9.c", "\xc9.c"));
}

TEST(JudgeRequest, TrustOverridesBothBlockLists) {
    const auto trust = List("good.x\n");
    const auto userBlock = List("good.x\nmine.x\n");
    const auto shippedBlock = List("good.x\nads.x\n~ads.x/keep\n");
    const ListSet lists{trust.get(), userBlock.get(), shippedBlock.get()};
    auto judge = [&](const char* url) {
        RequestUrl request;
        ParseRequestUrl(url, nullptr, &request);
        return JudgeRequest(testing::ViewOf(request), lists);
    };
    const Judgement trusted = judge("http://good.x/");
    EXPECT_EQ(trusted.verdict, Verdict::Trusted);
    EXPECT_EQ(trusted.list, lists.trust);
    EXPECT_EQ(trusted.list->LineNumber(*trusted.entry), 1);

    const Judgement user = judge("http://a.mine.x/");
    EXPECT_EQ(user.verdict, Verdict::Refused);
    EXPECT_EQ(user.list, lists.userBlock);
    EXPECT_EQ(user.list->Text(*user.entry), "mine.x");

    EXPECT_EQ(judge("http://ads.x/z").verdict, Verdict::Refused);
    const Judgement excepted = judge("http://ads.x/keep");
    EXPECT_EQ(excepted.verdict, Verdict::Passed);
    ASSERT_NE(excepted.entry, nullptr);
    EXPECT_FALSE(excepted.entry->positive);

    EXPECT_EQ(judge("http://other.y/").verdict, Verdict::Passed);
    EXPECT_EQ(JudgeRequest(testing::ViewOf(RequestUrl{}), ListSet{}).verdict, Verdict::Passed);
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

// Random lists against the reference walk: hosts with wildcard labels and
// labels with a "*", ports, paths with escapes, classes, alternation and
// anchors, exceptions, and requests drawn from the same small vocabulary so
// that lines and requests often meet. Verdicts and deciding lines must agree.
class RandomLists {
public:
    explicit RandomLists(uint32_t seed) : next_(seed) {}

    std::string Line() {
        std::string line = Pick(4) == 0 ? "~" : "";
        const uint32_t depth = Pick(4);
        for (uint32_t i = 0; i < depth; ++i) line += std::string(i ? "." : "") + Pick(kPatternLabels);
        if (Pick(6) == 0) line += Pick(2) ? ":8080" : ":80";
        if (Pick(3) != 0) line += Path();
        return line;
    }

    RequestUrl Request() {
        std::string host;
        const uint32_t depth = 1 + Pick(4);
        for (uint32_t i = 0; i < depth; ++i) host += std::string(i ? "." : "") + Pick(kHostLabels);
        std::string path = "/";
        const uint32_t parts = Pick(5);
        for (uint32_t i = 0; i < parts; ++i) path += Pick(kPathWords);
        const std::string url = "http://" + host + (Pick(3) == 0 ? ":8080" : "") + path;
        RequestUrl request;
        ParseRequestUrl(url.c_str(), nullptr, &request);
        return request;
    }

private:
    static constexpr const char* kPatternLabels[] = {"a", "b", "ad", "ads", "*", "ad*", "a*d", "*s", "x", "y", "X"};
    static constexpr const char* kHostLabels[] = {"a", "b", "ad", "ads", "adx", "x", "y", "Y"};
    static constexpr const char* kPathWords[] = {"ads/", "Banner", "img/", ".js", "?id=3", "-ad-", "track", "/", "x"};
    static constexpr const char* kPathPieces[] = {
        "ads", "banner", "track", "img/",      "/",  "\\.js", "\\?id=", "-ad-",
        ".*",  "[0-9]",  "[^/]",  "(ads|img)", "x?", "s+",    "$",      "([^-a-z0-9_.%]|$)",
        "\\/", "Ads/"};

    std::string Path() {
        std::string path = Pick(2) ? "/*.*" : "/";
        const uint32_t pieces = 1 + Pick(3);
        for (uint32_t i = 0; i < pieces; ++i) path += Pick(kPathPieces);
        return Pick(8) == 0 ? path + "|/img" : path;
    }

    template <size_t N>
    const char* Pick(const char* const (&words)[N]) {
        return words[Pick(N)];
    }
    uint32_t Pick(uint32_t n) { return next_(n); }

    testing::Lcg next_;
};

testing::ReferenceRequest AsReference(const RequestUrl& url) {
    return {url.host.value_or(""), url.port, url.path.value_or("/")};
}

// Hosts deeper than the places the index files labels under, with wildcards
// near and far from the right, are decided as the walk decides them.
TEST(FindDecidingEntry, DeepHostsAgreeWithAWalk) {
    const auto labels = [](int n, const std::string& label) {
        std::string out;
        for (int i = 0; i < n; ++i) out += label + ".";
        return out;
    };
    const std::string text = labels(40, "l") + "com\n" +                // a plain suffix of 41 labels
                             "ads." + labels(32, "*") + "com\n" +       // its plain label beyond reach
                             "ads." + labels(33, "*") + "*/x\n" +       // no key but its path
                             "ad*." + labels(31, "*") + "net:8080\n" +  // a prefix beyond reach
                             "~" + labels(3, "*") + "ads." + labels(30, "*") + "org\n" + "t*." + labels(29, "*") +
                             "org\n";
    const auto list = List(text);
    ASSERT_TRUE(list);
    std::vector<RequestUrl> requests;
    std::vector<testing::ReferenceRequest> reference;
    for (const std::string& host :
         {labels(40, "l") + "com", labels(41, "l") + "com", labels(39, "l") + "com", "ads." + labels(32, "q") + "com",
          "ads." + labels(31, "q") + "com", "ads." + labels(34, "q") + "x", "adz." + labels(31, "q") + "net",
          labels(3, "q") + "ads." + labels(30, "q") + "org", "tx." + labels(29, "q") + "org",
          "t." + labels(29, "q") + "org"}) {
        for (const char* rest : {"/", "/x", ":8080/"}) {
            RequestUrl url;
            ParseRequestUrl(("http://" + host + rest).c_str(), nullptr, &url);
            requests.push_back(url);
            reference.push_back(AsReference(url));
        }
    }
    std::vector<testing::ReferenceAnswer> expected;
    ASSERT_TRUE(testing::ReferenceDecideAll(text, reference, &expected));
    int decided = 0;
    for (size_t r = 0; r < requests.size(); ++r) {
        const PatternEntry* entry = testing::DecidingEntry(list.get(), requests[r]);
        const testing::ReferenceAnswer got = testing::AnswerOf(*list, entry);
        EXPECT_EQ(got, expected[r]) << *requests[r].raw;
        decided += got.lineNumber != 0;
    }
    EXPECT_GE(decided, 15);
}

TEST(FindDecidingEntry, AgreesWithAWalkOfTheWholeChain) {
    RandomLists random(12345);
    int decided = 0;
    int exceptions = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int lines = 1 + round % 40;
        for (int line = 0; line < lines; ++line) text += random.Line() + "\n";
        const auto list = List(text);
        ASSERT_TRUE(list);
        std::vector<RequestUrl> requests(30);
        std::vector<testing::ReferenceRequest> reference;
        for (RequestUrl& request : requests) {
            request = random.Request();
            reference.push_back(AsReference(request));
        }
        std::vector<testing::ReferenceAnswer> expected;
        ASSERT_TRUE(testing::ReferenceDecideAll(text, reference, &expected)) << text;
        for (size_t r = 0; r < requests.size(); ++r) {
            const PatternEntry* entry = testing::DecidingEntry(list.get(), requests[r]);
            const testing::ReferenceAnswer got = testing::AnswerOf(*list, entry);
            ASSERT_EQ(got, expected[r]) << text << "request " << *requests[r].raw << " decided by line "
                                        << got.lineNumber << ", the walk says " << expected[r].lineNumber;
            decided += got.lineNumber != 0;
            exceptions += got.lineNumber != 0 && !got.positive;
        }
    }
    EXPECT_GT(decided, 2000);  // the lists and requests do meet
    EXPECT_GT(exceptions, 300);
}

}  // namespace
}  // namespace tamsel

namespace tamsel {
namespace {

// The indexed host lookup against a walk of every entry of every list, on
// random lists whose wildcard hosts, path lines and exceptions land in every
// part of the index. Entries of all three lists and answers are compared.
const PatternEntry* WalkHostLookup(const ListSet& lists, const HostLabels& host) {
    const auto covers = [&](const PatternList& list, const PatternEntry& e) { return EntryHostCovers(list, e, host); };
    for (const PatternEntry& e : lists.trust->entries) {
        if (covers(*lists.trust, e)) return nullptr;
    }
    for (const PatternList* list : {lists.userBlock, lists.shippedBlock}) {
        for (const PatternEntry& e : list->entries) {
            if (!covers(*list, e)) continue;
            if (!e.positive) break;
            if (!e.hasPath() && list->Port(e) == 0) return &e;
        }
    }
    return nullptr;
}

TEST(JudgeWhollyRefused, AgreesWithAWalkAndRefusesOnlyWhatEveryRequestRefuses) {
    RandomLists random(777);
    int refusedHosts = 0;
    for (int round = 0; round < 300; ++round) {
        std::string texts[3];
        for (int k = 0; k < 3; ++k) {
            const int lines = k == 0 ? static_cast<int>(round % 3 == 0) * 2 : 4 + round % 20;
            for (int line = 0; line < lines; ++line) texts[k] += random.Line() + "\n";
        }
        const auto trust = List(texts[0]), userBlock = List(texts[1]), shipped = List(texts[2]);
        const ListSet lists{trust.get(), userBlock.get(), shipped.get()};
        for (int probe = 0; probe < 10; ++probe) {
            const RequestUrl sample = random.Request();
            const Judgement lookup = JudgeWhollyRefused(*sample.host, kAnyPort, lists);
            ASSERT_EQ(lookup.entry, WalkHostLookup(lists, SplitHostLabels(*sample.host)))
                << *sample.host << "\ntrust:\n"
                << texts[0] << "user:\n"
                << texts[1] << "shipped:\n"
                << texts[2];
            if (lookup.verdict != Verdict::Refused) continue;
            ++refusedHosts;
            for (const char* rest : {"/", ":8080/p", ":443/ads/x.js", "/img/Banner-ad-"}) {
                RequestUrl url;
                ParseRequestUrl(("http://" + *sample.host + rest).c_str(), nullptr, &url);
                EXPECT_EQ(JudgeRequest(testing::ViewOf(url), lists).verdict, Verdict::Refused) << *url.raw;
            }
        }
    }
    EXPECT_GT(refusedHosts, 200);
}

TEST(JudgeWhollyRefused, LinesWithAPathNeitherRefuseNorTrustAName) {
    const auto trust = List("good.x/\n");
    const auto shipped = List("ads.x/banners/\nads.y\nads.z\n/\n~ads.z/*.*keep\n");
    const ListSet lists{trust.get(), nullptr, shipped.get()};
    auto judge = [&](const char* host) { return JudgeWhollyRefused(host, 443, lists).verdict; };
    EXPECT_EQ(judge("ads.x"), Verdict::Passed);
    EXPECT_EQ(judge("ads.y"), Verdict::Refused);
    EXPECT_EQ(judge("ads.z"), Verdict::Passed);   // its exception with a path keeps some requests
    EXPECT_EQ(judge("good.x"), Verdict::Passed);  // a trust line with a path still trusts some requests
}

}  // namespace
}  // namespace tamsel
