#include "patterns/request_url.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tamsel {
namespace {

RequestUrl Parse(const char* line, const char* host = nullptr) {
    RequestUrl url;
    ParseRequestUrl(line, host, &url);
    return url;
}

TEST(ParseRequestUrl, OriginFormTakesHostAndPortFromHostValue) {
    const RequestUrl url = Parse("GET /ads/banner.gif HTTP/1.0", "ads.b.c");
    EXPECT_EQ(url.raw, "GET /ads/banner.gif HTTP/1.0");
    EXPECT_EQ(url.method, "GET");
    EXPECT_EQ(url.host, "ads.b.c");
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.path, "/ads/banner.gif");
    EXPECT_EQ(url.version, "HTTP/1.0");
    EXPECT_EQ(url.hostport, "ads.b.c");

    const RequestUrl withPort = Parse("GET /ads/banner.gif HTTP/1.0", "ads.b.c:8080");
    EXPECT_EQ(withPort.host, "ads.b.c");
    EXPECT_EQ(withPort.port, 8080);
}

TEST(ParseRequestUrl, AbsoluteFormIgnoresHostValueAndDefaultsToPort80) {
    const RequestUrl url = Parse("GET http://ads.b.c:8080/x.gif HTTP/1.1", "other.d");
    EXPECT_EQ(url.host, "ads.b.c");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.path, "/x.gif");

    const RequestUrl bare = Parse("get HTTP://ads.b.c HTTP/1.1");
    EXPECT_EQ(bare.host, "ads.b.c");
    EXPECT_EQ(bare.port, 80);
    EXPECT_EQ(bare.path, "/");

    EXPECT_EQ(Parse("GET https://ads.b.c/x HTTP/1.1").port, 80);  // not 443
}

TEST(ParseRequestUrl, UnparsedLinesKeepOnlyTheRawText) {
    for (const char* line : {"PUT /x HTTP/1.1", "GET /x", "", "a b c d e f g h i j k", "OPTIONS * HTTP/1.1"}) {
        const RequestUrl url = Parse(line, "ads.b.c");
        EXPECT_EQ(url.raw, line);
        EXPECT_FALSE(url.host) << line;
        EXPECT_FALSE(url.method) << line;
        EXPECT_FALSE(url.path) << line;
    }
    EXPECT_FALSE(Parse("GET /x HTTP/1.0").host);  // origin form without a host value
}

TEST(ParseRequestUrl, LineEndsAndTabs) {
    EXPECT_EQ(Parse("GET /a HTTP/1.0\r", "h.c").version, "HTTP/1.0");
    const RequestUrl cut = Parse("GET /a HTTP/1.0\nPOST /b HTTP/1.1", "h.c");
    EXPECT_EQ(cut.path, "/a");
    // A tab separates nothing: "GET\t/a" is one token, a path on "localhost".
    const RequestUrl tab = Parse("GET\t/a");
    EXPECT_EQ(tab.host, "localhost");
    EXPECT_EQ(tab.path, "GET\t/a");
}

TEST(ParseRequestUrl, BareUrlsAsThePageWalkPassesThem) {
    const RequestUrl url = Parse("http://ads.b.c/x.gif");
    EXPECT_EQ(url.method, "get");
    EXPECT_EQ(url.version, "http/1.0");
    EXPECT_EQ(url.host, "ads.b.c");
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.path, "/x.gif");

    const RequestUrl relative = Parse("/img/a.gif");
    EXPECT_EQ(relative.host, "localhost");
    EXPECT_EQ(relative.port, 80);
    EXPECT_EQ(relative.path, "/img/a.gif");
}

TEST(ParseRequestUrl, HostPortEdgeCases) {
    EXPECT_FALSE(Parse("http://[::1]:80/x").host);      // two or more colons
    EXPECT_FALSE(Parse("http:///x").host);              // empty host text
    EXPECT_FALSE(Parse("GET /x HTTP/1.0", "").host);    // empty Host header
    EXPECT_EQ(Parse("http://a.b:abc/").port, 0);        // no digits
    EXPECT_EQ(Parse("GET / HTTP/1.0", "a.b:+81x").port, 81);  // read as atoi reads
    EXPECT_EQ(Parse("http://a.b:99999999999/").port, 2147483647);  // saturates
    EXPECT_EQ(Parse("http://a.b:-99999999999/").port, -2147483647 - 1);
}

TEST(ParseRequestUrl, FreeEmptiesTheRecordAndIgnoresNull) {
    RequestUrl url = Parse("GET /a HTTP/1.0", "h.c");
    FreeRequestUrl(&url);
    EXPECT_FALSE(url.raw);
    EXPECT_FALSE(url.host);
    EXPECT_FALSE(url.path);
    FreeRequestUrl(nullptr);
}

std::vector<std::string> Split(std::string text, const char* seps, int capacity, int* result) {
    std::vector<char*> tokens(static_cast<size_t>(capacity) + 1);
    *result = SplitTokens(text.data(), seps, tokens.data(), capacity);
    std::vector<std::string> out;
    for (int i = 0; i < *result; ++i) out.emplace_back(tokens[static_cast<size_t>(i)]);
    return out;
}

TEST(SplitTokens, DropsEmptyTokensAndRespectsCapacity) {
    int n = 0;
    EXPECT_TRUE(Split("", ".", 4, &n).empty());
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Split(".a..b.", ".", 4, &n), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(n, 2);
    Split("a.b.c", ".", 2, &n);
    EXPECT_EQ(n, -1);
    EXPECT_EQ(Split("a.b", ".", 2, &n).size(), 2u);  // exactly the capacity is fine
    EXPECT_EQ(SplitTokens(nullptr, ".", nullptr, 4), -1);
}

TEST(SplitTokens, LineFeedEndsTheTextEvenWhenItIsASeparator) {
    int n = 0;
    EXPECT_EQ(Split("a b\nc d", " \n", 10, &n), (std::vector<std::string>{"a", "b"}));
    // Bytes of the upper half are ordinary characters, never separators.
    EXPECT_EQ(Split("\xe9t\xe9.x", ".", 10, &n), (std::vector<std::string>{"\xe9t\xe9", "x"}));
}

}  // namespace
}  // namespace tamsel
