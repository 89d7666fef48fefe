#include "intercept/inspect.h"

#include <gtest/gtest.h>

#include <string>

#include "client_hello_fixtures.h"
#include "intercept/server_name.h"
#include "runtime/shared_state.h"

namespace tamsel {
namespace {

std::unique_ptr<PatternList> List(const std::string& text) { return ParsePatternListText(text, "l.txt").value(); }

class InspectRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        shipped_ = List("ads.x\n/banners/\n");
        lists_.shippedBlock = shipped_.get();
    }

    bool Refused(const std::string& bytes) const {
        return InspectRequestWith(bytes.data(), static_cast<int32_t>(bytes.size()), lists_).verdict == Verdict::Refused;
    }

    std::unique_ptr<PatternList> shipped_, trust_, userBlock_;
    ListSet lists_;
};

TEST_F(InspectRequestTest, MethodTokenWithinTheFirstEightBytesOfTheFirstLine) {
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nHost: ads.x\r\n\r\n"));
    EXPECT_TRUE(Refused("get / HTTP/1.1\r\nHost: ads.x\r\n\r\n"));
    EXPECT_TRUE(Refused("Post / HTTP/1.1\r\nHost: ads.x\r\n\r\n"));
    EXPECT_TRUE(Refused("       GET / HTTP/1.1\r\nHost: ads.x\r\n\r\n"));    // starts at 7
    EXPECT_FALSE(Refused("        GET / HTTP/1.1\r\nHost: ads.x\r\n\r\n"));  // starts at 8
    EXPECT_FALSE(Refused("GET\t/ HTTP/1.1\r\nHost: ads.x\r\n\r\n"));
    for (const char* method : {"HEAD", "PUT", "OPTIONS", "CONNECT", "DELETE"}) {
        EXPECT_FALSE(Refused(std::string(method) + " / HTTP/1.1\r\nHost: ads.x\r\n\r\n")) << method;
    }
    // A token that happens to begin in the first eight bytes counts.
    EXPECT_TRUE(Refused("XGET / HTTP/1.1\r\nHost: ads.x\r\n\r\n") == false);  // "XGET" parses as no method
    EXPECT_TRUE(Refused("A POST http://ads.x/ HTTP/1.1\r\nHost: ads.x\r\n\r\n") == false);  // four tokens
}

// The method test takes exactly "GET " or "POST ", in any case, starting
// within the first eight bytes; a method without its blank, a longer word,
// or a tail of one of them is no request head.
TEST(LooksLikeRequestHead, WantsAWholeMethodFollowedByABlank) {
    const auto looks = [](const std::string& text) {
        return LooksLikeRequestHead(text.data(), static_cast<int32_t>(text.size()));
    };
    for (const char* head :
         {"GET /", "get /", "gEt x", "POST /", "post /", "PoSt x", " GET /", "       GET ", "xxxPOST /", "  POST "}) {
        EXPECT_TRUE(looks(head)) << head;
    }
    for (const char* other : {"GET", "GET\t/", "GETS /", "GET\r\n", "GE T /", "XET /", "POST", "POST\t/", "POSTS /",
                              "POS /", "XOST /", "pXOST /", "gXET /", "OST /", "ET /", "PUT /", "HEAD /", "G", "P"}) {
        EXPECT_FALSE(looks(other)) << other;
    }
}

TEST_F(InspectRequestTest, NullShortAndNegativeBuffersPass) {
    EXPECT_EQ(InspectRequestWith(nullptr, 100, lists_).verdict, Verdict::Passed);
    const std::string get = "GET / HTTP/1.1\r\nHost: ads.x\r\n\r\n";
    EXPECT_EQ(InspectRequestWith(get.data(), 0, lists_).verdict, Verdict::Passed);
    EXPECT_EQ(InspectRequestWith(get.data(), -5, lists_).verdict, Verdict::Passed);
    EXPECT_EQ(InspectRequestWith(get.data(), 3, lists_).verdict, Verdict::Passed);
    EXPECT_FALSE(LooksLikeRequestHead(get.data(), 3));
    EXPECT_TRUE(LooksLikeRequestHead(get.data(), 4));
}

TEST_F(InspectRequestTest, HostHeaderValue) {
    EXPECT_FALSE(Refused("GET /banner.gif HTTP/1.1\r\nAccept: */*\r\n\r\n"));  // no host at all
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nHost:    ads.x   \r\n\r\n"));
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nhOST:ads.x\r\n\r\n"));
    EXPECT_FALSE(Refused("GET / HTTP/1.1\r\nHost:\r\n\r\n"));  // empty host value
    // Tabs around the value are skipped like blanks.
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nHost:\tads.x\r\n\r\n"));
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nHost: ads.x\t\r\n\r\n"));
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nHost: \t ads.x\tmore\r\n\r\n"));
    // Every line end, and Host anywhere among the headers.
    EXPECT_TRUE(Refused("GET / HTTP/1.1\nAccept: */*\nHost: ads.x\n\n"));
    EXPECT_TRUE(Refused("GET / HTTP/1.1\rAccept: */*\rHost: ads.x\r\r"));
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nAccept: */*\nHOST: ads.x\rX: y\r\n\r\n"));
}

// Only a header line named Host counts: not a header whose name ends in
// "host", not "host:" inside a value or the request line, not the body.
TEST_F(InspectRequestTest, HostIsAHeaderName) {
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nX-Forwarded-Host: fine.y\r\nHost: ads.x\r\n\r\n"));
    EXPECT_FALSE(Refused("GET / HTTP/1.1\r\nX-Forwarded-Host: ads.x\r\nHost: fine.y\r\n\r\n"));
    EXPECT_TRUE(Refused("GET /x.gif?ref=host:1 HTTP/1.1\r\nHost: ads.x\r\n\r\n"));
    EXPECT_TRUE(Refused("GET /x host:fine.y\r\nHost: ads.x\r\n\r\n"));
    EXPECT_FALSE(Refused("GET /x host:ads.x\r\nHost: fine.y\r\n\r\n"));
    EXPECT_FALSE(Refused("GET / HTTP/1.1\r\nReferer: http://x/?host:ads.x\r\n\r\n"));
    EXPECT_FALSE(Refused("POST / HTTP/1.1\r\nAccept: */*\r\n\r\nHost: ads.x\r\n"));
    EXPECT_FALSE(Refused("GET / HTTP/1.1\r\nHost : ads.x\r\n\r\n"));
    EXPECT_TRUE(Refused("GET / HTTP/1.1\r\nHost: ads.x\r\nHost: fine.y\r\n\r\n"));  // the first wins
    // The request line keeps its own tokens.
    RequestUrl url;
    const std::string get = "GET /x?ref=host:1 HTTP/1.1\r\nHost: ads.x\r\n\r\n";
    InspectRequestWith(get.data(), static_cast<int32_t>(get.size()), lists_, &url);
    EXPECT_EQ(url.path, "/x?ref=host:1");
    EXPECT_EQ(url.version, "HTTP/1.1");
}

TEST_F(InspectRequestTest, TheRegexEngineSeesThePathAloneNotTheRestOfTheHead) {
    // Lines the text shortcut cannot answer: alternation, repetition, and
    // bytes outside ASCII. The path is a view into the head, so the engine
    // must stop at its end: "$" there, before " HTTP/1.1".
    const auto engine = List("/(ads|pix)/[0-9]+$\n/x(y|z)?\\.gif\n/caf\xe9/\n");
    const ListSet lists{nullptr, nullptr, engine.get()};
    const auto refused = [&](const std::string& target) {
        const std::string head = "GET " + target + " HTTP/1.1\r\nHost: fine.y\r\n\r\n";
        return InspectRequestWith(head.data(), static_cast<int32_t>(head.size()), lists).verdict == Verdict::Refused;
    };
    EXPECT_TRUE(refused("/ads/12"));
    EXPECT_TRUE(refused("/PIX/3"));
    EXPECT_FALSE(refused("/ads/12x"));
    EXPECT_TRUE(refused("/xz.gif?a=1"));
    EXPECT_FALSE(refused("/xw.gif"));
    EXPECT_TRUE(refused("/caf\xe9/menu"));
}

TEST_F(InspectRequestTest, CopyEndsAtNulAndAtTheLength) {
    std::string withNul = "GET / HTTP/1.1\r\n";
    withNul.push_back('\0');
    withNul += "Host: ads.x\r\n\r\n";
    EXPECT_FALSE(Refused(withNul));
    // Only `length` bytes are read: the host lies beyond it.
    const std::string full = "GET / HTTP/1.1\r\nHost: ads.x\r\n\r\n";
    EXPECT_EQ(InspectRequestWith(full.data(), 20, lists_).verdict, Verdict::Passed);
    EXPECT_EQ(InspectRequestWith(full.data(), 27, lists_).verdict, Verdict::Refused);
}

TEST(RequestHead, EndsAtTheBlankLineTheFirstNulOrTheBound) {
    auto head = [](const std::string& bytes) { return std::string(RequestHead(bytes.data(), bytes.size())); };
    EXPECT_EQ(head("GET / HTTP/1.1\r\nHost: a\r\n\r\nbody"), "GET / HTTP/1.1\r\nHost: a\r\n");
    EXPECT_EQ(head("GET / HTTP/1.1\nHost: a\n\nbody"), "GET / HTTP/1.1\nHost: a\n");
    EXPECT_EQ(head("GET / HTTP/1.1\rHost: a\r\rbody"), "GET / HTTP/1.1\rHost: a\r");
    EXPECT_EQ(head("GET / HTTP/1.1\r\nHost: a\n\r\nbody"), "GET / HTTP/1.1\r\nHost: a\n");
    EXPECT_EQ(head(std::string("GET / HTTP/1.1\r\nHo\0st: a\r\n", 27)), "GET / HTTP/1.1\r\nHo");
    EXPECT_EQ(head("GET / HTTP/1.1\r\nHost: a"), "GET / HTTP/1.1\r\nHost: a");
    const std::string huge = "POST / HTTP/1.1\r\nX: " + std::string(2 * kMaxInspectedBytes, 'a');
    EXPECT_EQ(RequestHead(huge.data(), huge.size()).size(), kMaxInspectedBytes);
}

// A large upload is judged on its head alone, whatever its body holds.
TEST_F(InspectRequestTest, LargeSendsAreJudgedOnTheirHead) {
    std::string post = "POST /banners/up HTTP/1.1\r\nHost: fine.y\r\nContent-Length: 67108864\r\n\r\n";
    post.resize(8 << 20, 'b');
    EXPECT_TRUE(Refused(post));
    post.replace(0, 7, "POST /u");
    EXPECT_FALSE(Refused(post));
    // A Host header past the bound is not seen; one within it is.
    std::string longHead =
        "GET / HTTP/1.1\r\nX-Pad: " + std::string(kMaxInspectedBytes, 'p') + "\r\nHost: ads.x\r\n\r\n";
    EXPECT_FALSE(Refused(longHead));
    longHead.replace(16, 6, "Host: ads.x\r\n");
    EXPECT_TRUE(Refused(longHead));
}

TEST_F(InspectRequestTest, SplitHeadIsJudgedCallByCall) {
    EXPECT_FALSE(Refused("GET /banners/a.gif HTTP/1.1\r\n"));
    EXPECT_FALSE(Refused("Host: ads.x\r\n\r\n"));
}

TEST_F(InspectRequestTest, BodiesAndAbsoluteUrls) {
    EXPECT_FALSE(Refused("{\"host:\": \"ads.x\"}"));
    EXPECT_TRUE(Refused("GET http://ads.x/a HTTP/1.1\r\nHost: fine.y\r\n\r\n"));
    EXPECT_TRUE(Refused("POST /banners/x HTTP/1.0\r\nHost: any.z:8080\r\n\r\nbody"));
}

// Each of these is a request to a listed host or path, and is judged as one.
TEST_F(InspectRequestTest, RequestsWrittenInEveryAllowedForm) {
    EXPECT_TRUE(Refused("GET /banners/x.gif HTTP/1.1\r\nHost: [::1]:8080\r\n\r\n"));
    EXPECT_FALSE(Refused("GET /news/x.gif HTTP/1.1\r\nHost: [::1]:8080\r\n\r\n"));
    EXPECT_TRUE(Refused("GET http://ads.x/x HTTP/1.0\r\n\r\n"));  // absolute, no Host header
    EXPECT_TRUE(Refused("GET http://ads.x/x HTTP/1.0\r\nAccept: */*\r\n\r\n"));
    EXPECT_FALSE(Refused("GET /x HTTP/1.0\r\nAccept: */*\r\n\r\n"));  // no host at all
    EXPECT_TRUE(Refused("GET http://u@ads.x/x HTTP/1.1\r\nHost: ads.x\r\n\r\n"));
    EXPECT_TRUE(Refused("GET http://ads.x?x HTTP/1.1\r\nHost: ads.x\r\n\r\n"));
    // Empty lines before the request line, as a client may send them.
    EXPECT_TRUE(Refused("\r\nGET / HTTP/1.1\r\nHost: ads.x\r\n\r\n"));
    EXPECT_TRUE(Refused("\n\r\n\r\n   POST /banners/ HTTP/1.1\r\nHost: fine.y\r\n\r\n"));
    EXPECT_TRUE(LooksLikeRequestHead("\r\n\r\nGET /", 9));
    EXPECT_FALSE(LooksLikeRequestHead("\r\n\r\n", 4));
}

// Pipelined requests: every head of the buffer is judged, each body skipped
// by its Content-Length, and the first refusal names the request refused.
TEST_F(InspectRequestTest, EveryPipelinedHeadIsJudged) {
    const std::string passing = "GET /ok HTTP/1.1\r\nHost: fine.y\r\n\r\n";
    const std::string refused = "GET /banners/a.gif HTTP/1.1\r\nHost: fine.y\r\n\r\n";
    EXPECT_TRUE(Refused(passing + refused));
    EXPECT_TRUE(Refused(passing + "\r\n" + passing + refused));
    EXPECT_FALSE(Refused(passing + passing));
    const std::string post = "POST /up HTTP/1.1\r\nHost: fine.y\r\nContent-Length: 5\r\n\r\nhello";
    EXPECT_TRUE(Refused(post + refused));
    RequestUrl url;
    const std::string both = passing + refused;
    EXPECT_EQ(InspectRequestWith(both.data(), static_cast<int32_t>(both.size()), lists_, &url).verdict,
              Verdict::Refused);
    EXPECT_EQ(url.path, "/banners/a.gif");
    InspectRequestWith(both.data(), static_cast<int32_t>(passing.size()), lists_, &url);
    EXPECT_EQ(url.path, "/ok");
}

// A body is never read as a request, whatever it holds; after a body of no
// stated length nothing more of the buffer is read.
TEST_F(InspectRequestTest, BodiesThatLookLikeRequestsPass) {
    const std::string inner = "GET /notes HTTP/1.1\r\nHost: ads.x\r\n\r\n";
    const std::string length = "Content-Length: " + std::to_string(inner.size()) + "\r\n";
    EXPECT_FALSE(Refused("POST /notes HTTP/1.1\r\nHost: fine.y\r\n" + length + "\r\n" + inner));
    EXPECT_FALSE(Refused("POST /notes HTTP/1.1\r\nHost: fine.y\r\nContent-Length: 9999\r\n\r\n" + inner));
    EXPECT_FALSE(Refused("POST /notes HTTP/1.1\r\nHost: fine.y\r\nTransfer-Encoding: chunked\r\n\r\n" + inner));
    EXPECT_FALSE(Refused("POST /notes HTTP/1.1\r\nHost: fine.y\r\nContent-Length: 1x\r\n\r\n" + inner));
}

TEST_F(InspectRequestTest, AStreamGoesOnWhereTheBodyBeforeEnds) {
    const auto judge = [&](const std::string& bytes, uint64_t bodyLeft, BodyTrail* trail) {
        return InspectStreamWith(bytes.data(), bytes.size(), bodyLeft, lists_, trail).verdict;
    };
    BodyTrail trail;
    const std::string head = "GET /banners/ HTTP/1.1\r\nHost: fine.y\r\n\r\n";
    EXPECT_EQ(judge(head, 200, &trail), Verdict::Passed);  // all of it body
    EXPECT_EQ(trail.bodyEnd, 200u);
    EXPECT_EQ(BodyLeftAfter(trail, head.size()), 200 - head.size());
    EXPECT_EQ(judge("12345" + head, 5, &trail), Verdict::Refused);
    EXPECT_EQ(judge("123\r\n" + head, 3, &trail), Verdict::Refused);
    EXPECT_EQ(judge("12345PUT /x HTTP/1.1\r\n\r\n" + head, 5, &trail), Verdict::Refused);
    // A fresh buffer must start like a request: binary data is no head.
    EXPECT_EQ(judge("\x16PUT /x HTTP/1.1\r\n\r\n" + head, 0, &trail), Verdict::Passed);
    const std::string post = "POST /u HTTP/1.1\r\nHost: fine.y\r\nContent-Length: 100\r\n\r\nabc";
    EXPECT_EQ(judge(post, 0, &trail), Verdict::Passed);
    EXPECT_EQ(trail.bodyStart, post.size() - 3);
    EXPECT_EQ(trail.bodyEnd, post.size() + 97);
    EXPECT_EQ(BodyLeftAfter(trail, post.size()), 97u);
    EXPECT_EQ(BodyLeftAfter(trail, 10), 0u);  // the head itself did not go out whole
    EXPECT_EQ(BodyLeftAfter(trail, post.size() + 97), 0u);
    EXPECT_EQ(judge(head, 0, &trail), Verdict::Refused);
    EXPECT_EQ(trail.bodyEnd, 0u);
}

TEST_F(InspectRequestTest, ListOrder) {
    trust_ = List("ads.x\n");
    userBlock_ = List("ads.x\nmine.y\n");
    lists_.trust = trust_.get();
    lists_.userBlock = userBlock_.get();
    EXPECT_EQ(InspectRequestWith("GET / HTTP/1.1\r\nHost: ads.x\r\n\r\n", 31, lists_).verdict, Verdict::Trusted);
    const std::string mine = "GET / HTTP/1.1\r\nHost: mine.y\r\n\r\n";
    const Judgement j = InspectRequestWith(mine.data(), static_cast<int32_t>(mine.size()), lists_);
    EXPECT_EQ(j.verdict, Verdict::Refused);
    EXPECT_EQ(j.list, lists_.userBlock);
    EXPECT_EQ(InspectRequestWith(mine.data(), static_cast<int32_t>(mine.size()), ListSet{}).verdict, Verdict::Passed);
}

TEST_F(InspectRequestTest, CallerBufferIsNotChanged) {
    const std::string original = "GET /banners/ HTTP/1.1\r\nHost: ads.x \r\n\r\n";
    std::string buffer = original;
    InspectRequestWith(buffer.data(), static_cast<int32_t>(buffer.size()), lists_);
    EXPECT_EQ(buffer, original);
}

TEST(FindTextNoCase, BoundCountsStartPositionsNotBytes) {
    const char text[] = "xxGET y";
    EXPECT_EQ(FindTextNoCase(text, 7, "get ", 3, true), 2u);  // starts at the last allowed position
    EXPECT_FALSE(FindTextNoCase(text, 7, "get ", 2, true));
    EXPECT_FALSE(FindTextNoCase(text, 5, "get ", 8, true));  // would run past the readable text
    EXPECT_FALSE(FindTextNoCase(nullptr, 5, "get ", 8, true));
    EXPECT_FALSE(FindTextNoCase("a\nget ", 6, "get ", 8, true));
    EXPECT_EQ(FindTextNoCase("a\nget ", 6, "get ", 8, false), 2u);
    EXPECT_FALSE(FindTextNoCase("\xc7"
                                "et ",
                                4,
                                "\xe7"
                                "et ",
                                8, false));                     // no folding above 127
    EXPECT_FALSE(FindTextNoCase("[et ", 4, "{et ", 8, false));  // 32 apart but not letters
}

TEST(InspectRequest, UsesTheSharedStateLists) {
    SharedState& state = TheSharedState();
    const std::string get = "GET /x HTTP/1.1\r\nHost: shared.x\r\n\r\n";
    EXPECT_FALSE(InspectRequest(ClassifyOutgoing(get.data(), get.size())));
    state.Replace(ListKind::UserBlock, ParsePatternListText("shared.x\n", "u.txt").value());
    EXPECT_TRUE(InspectRequest(ClassifyOutgoing(get.data(), get.size())));
    state.Replace(ListKind::UserTrust, ParsePatternListText("shared.x\n", "t.txt").value());
    EXPECT_FALSE(InspectRequest(ClassifyOutgoing(get.data(), get.size())));
    state.ClearLists();
}

TEST(ClassifyOutgoing, NamesTheKindOnceAndWhereTheRequestLineStarts) {
    const auto classify = [](const std::string& bytes) { return ClassifyOutgoing(bytes.data(), bytes.size()); };
    const OutgoingBuffer plain = classify("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(plain.kind, OutgoingKind::RequestHead);
    EXPECT_EQ(plain.headStart, 0u);
    const OutgoingBuffer led = classify("\r\n\n\rPOST / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(led.kind, OutgoingKind::RequestHead);
    EXPECT_EQ(led.headStart, 4u);
    // Leading line ends count only up to the bound of a head.
    const std::string ends(kMaxInspectedBytes, '\n');
    const OutgoingBuffer farthest = classify(ends + "GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(farthest.kind, OutgoingKind::RequestHead);
    EXPECT_EQ(farthest.headStart, kMaxInspectedBytes);
    EXPECT_EQ(classify(ends + "\nGET / HTTP/1.1\r\n\r\n").kind, OutgoingKind::Other);

    const std::string hello = fixtures::HelloNaming("a.example");
    EXPECT_EQ(classify(hello).kind, OutgoingKind::ClientHello);
    EXPECT_EQ(classify("\r\n" + hello).kind, OutgoingKind::Other);  // line ends lead only a request
    EXPECT_EQ(classify("PUT / HTTP/1.1\r\n\r\n").kind, OutgoingKind::Other);
    EXPECT_EQ(ClassifyOutgoing(nullptr, 10).kind, OutgoingKind::Other);
    EXPECT_EQ(ClassifyOutgoing(hello.data(), 0).kind, OutgoingKind::Other);
}

TEST(InspectRequest, EachGateTakesOnlyItsOwnKind) {
    SharedState& state = TheSharedState();
    state.Replace(ListKind::UserBlock, ParsePatternListText("shared.x\n", "u.txt").value());
    const std::string get = "\r\nGET /x HTTP/1.1\r\nHost: shared.x\r\n\r\n";
    const std::string hello = fixtures::HelloNaming("shared.x");
    const OutgoingBuffer head = ClassifyOutgoing(get.data(), get.size());
    const OutgoingBuffer named = ClassifyOutgoing(hello.data(), hello.size());
    EXPECT_TRUE(InspectRequest(head));
    EXPECT_TRUE(InspectClientHello(named, kDefaultTlsPort));
    EXPECT_FALSE(InspectRequest(named));
    EXPECT_FALSE(InspectClientHello(head, kDefaultTlsPort));
    state.ClearLists();
}

}  // namespace
}  // namespace tamsel
