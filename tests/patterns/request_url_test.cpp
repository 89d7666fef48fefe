#include "patterns/request_url.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/exact_bytes.h"

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
    EXPECT_FALSE(Parse("http://a:80:81/x").host);                  // two or more colons outside brackets
    EXPECT_FALSE(Parse("http:///x").host);                         // empty host text
    EXPECT_FALSE(Parse("GET /x HTTP/1.0", "").host);               // empty Host header
    EXPECT_EQ(Parse("http://a.b:abc/").port, 0);                   // no digits
    EXPECT_EQ(Parse("GET / HTTP/1.0", "a.b:+81x").port, 81);       // read as atoi reads
    EXPECT_EQ(Parse("http://a.b:99999999999/").port, 2147483647);  // saturates
    EXPECT_EQ(Parse("http://a.b:-99999999999/").port, -2147483647 - 1);
}

// An IPv6 address is written in brackets, in a URL and in a Host header;
// the host keeps them, and the colons inside are no port.
TEST(ParseRequestUrl, BracketedIpv6Hosts) {
    const RequestUrl header = Parse("GET /banners/x.gif HTTP/1.1", "[::1]:8080");
    EXPECT_EQ(header.host, "[::1]");
    EXPECT_EQ(header.port, 8080);
    EXPECT_EQ(header.path, "/banners/x.gif");
    EXPECT_EQ(Parse("GET / HTTP/1.1", "[2001:db8::7]").host, "[2001:db8::7]");
    EXPECT_EQ(Parse("GET / HTTP/1.1", "[2001:db8::7]").port, 80);
    const RequestUrl absolute = Parse("GET http://[fe80::1]:81/a?b HTTP/1.1");
    EXPECT_EQ(absolute.host, "[fe80::1]");
    EXPECT_EQ(absolute.port, 81);
    EXPECT_EQ(absolute.path, "/a?b");
    for (const char* broken : {"[::1", "[::1]x", "[::1]x:80"})
        EXPECT_FALSE(Parse("GET / HTTP/1.1", broken).host) << broken;
}

// The authority of an absolute URL ends at the first "/", "?" or "#", and
// user information before its "@" is no part of the host.
TEST(ParseRequestUrl, AuthorityOfAnAbsoluteUrl) {
    const RequestUrl user = Parse("GET http://u@ads.b.c/x HTTP/1.1");
    EXPECT_EQ(user.host, "ads.b.c");
    EXPECT_EQ(user.path, "/x");
    const RequestUrl password = Parse("http://u:p@w@ads.b.c:81/x");
    EXPECT_EQ(password.host, "ads.b.c");
    EXPECT_EQ(password.port, 81);
    const RequestUrl query = Parse("GET http://ads.b.c?x=/1 HTTP/1.1");
    EXPECT_EQ(query.host, "ads.b.c");
    EXPECT_EQ(query.port, 80);
    EXPECT_EQ(query.path, "?x=/1");
    EXPECT_EQ(Parse("http://ads.b.c:82?x").port, 82);
    EXPECT_EQ(Parse("http://ads.b.c#top").host, "ads.b.c");
    EXPECT_EQ(Parse("GET / HTTP/1.1", "u@ads.b.c:83").host, "ads.b.c");
}

using Unterminated = testing::ExactBytes;

bool Within(std::string_view part, std::string_view whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

TEST(ParseRequestView, ReadsOnlyTheGivenBytes) {
    // Taken from a longer head: the bytes after the view belong to others.
    const std::string head = "GET http://ads.b.c:8080/x.gif HTTP/1.1\r\nHost: other.d\r\n";
    const RequestView absolute = ParseRequestView(std::string_view(head).substr(0, 37), std::nullopt);
    EXPECT_EQ(absolute.host, "ads.b.c");
    EXPECT_EQ(absolute.port, 8080);
    EXPECT_EQ(absolute.version, "HTTP/1.");

    const Unterminated line("GET /a HTTP/1.0");
    const Unterminated host("ads.b.c:81");
    const RequestView origin = ParseRequestView(line.view(), host.view());
    EXPECT_EQ(origin.path, "/a");
    EXPECT_EQ(origin.version, "HTTP/1.0");
    EXPECT_EQ(origin.host, "ads.b.c");
    EXPECT_EQ(origin.port, 81);

    const Unterminated bare("http://ads.b.c");
    EXPECT_EQ(ParseRequestView(bare.view(), std::nullopt).host, "ads.b.c");
}

TEST(ParseRequestView, PartsAreViewsIntoTheInput) {
    const std::string line = "GET /a/b?c=d HTTP/1.1";
    const std::string host = "Ads.B.C:8080";
    const RequestView url = ParseRequestView(line, host);
    for (const auto& part : {url.method, url.path, url.version}) EXPECT_TRUE(Within(*part, line));
    EXPECT_TRUE(Within(*url.host, host));
    EXPECT_EQ(url.host, "Ads.B.C");  // as sent: lists lower-case it when they compare
    EXPECT_EQ(url.hostport, host);

    const std::string absolute = "http://a.b:81";
    const RequestView bare = ParseRequestView(absolute, std::nullopt);
    EXPECT_TRUE(Within(*bare.host, absolute));
    EXPECT_EQ(bare.path, "/");
    EXPECT_EQ(bare.method, "get");
}

TEST(ParseRequestView, NulAndLineFeedEndBothTexts) {
    const RequestView cut =
        ParseRequestView(std::string_view("GET /a HTTP/1.0\0 /b", 19), std::string_view("h.c\0:99", 7));
    EXPECT_EQ(cut.version, "HTTP/1.0");
    EXPECT_EQ(cut.host, "h.c");
    EXPECT_EQ(cut.port, 80);
    // The record keeps the Host value whole and takes host and port from its first line.
    const RequestUrl fed = Parse("GET /a HTTP/1.0", "h.c\n:99");
    EXPECT_EQ(fed.host, "h.c");
    EXPECT_EQ(fed.port, 80);
    EXPECT_EQ(fed.hostport, "h.c\n:99");
    EXPECT_EQ(Parse("GET /a HTTP/1.0", ":8080").port, 80);  // only the first piece is there: it is the host
    EXPECT_EQ(Parse("GET /a HTTP/1.0", ":8080").host, "8080");
}

// The scans step eight bytes at a time: every part must still end exactly at
// its delimiter wherever that falls in a step, with bytes above 127 (which
// no delimiter test may take for one) in the text.
TEST(ParseRequestView, PartsEndAtTheirDelimiterWhereverItFalls) {
    for (size_t length = 1; length <= 24; ++length) {
        std::string text(length, 'h');
        text[length / 2] = '\xe9';
        for (const char end : {'/', '?', '#'}) {
            const std::string url = "http://" + text + end + "p";
            const RequestView bare = ParseRequestView(url, std::nullopt);
            ASSERT_TRUE(bare.host) << url;
            EXPECT_EQ(*bare.host, text);
            EXPECT_EQ(bare.path, std::string(1, end) + "p");
        }
        for (const char separator : {' ', '\r', '\n', '\0', '\t'}) {
            const std::string line = "GET /" + text + separator + "HTTP/1.1";
            const RequestView request = ParseRequestView(line, "h.c");
            if (separator == ' ' || separator == '\r') {
                EXPECT_EQ(request.path, "/" + text) << length;
                EXPECT_EQ(request.version, "HTTP/1.1") << length;
            } else {
                // LF and NUL end the line after two tokens; a tab is part of one.
                EXPECT_FALSE(request.host) << length << " " << static_cast<int>(separator);
            }
        }
    }
}

// The scheme is read as one word where the URL has eight bytes: every byte
// value in every place of it must be taken as a byte-by-byte reading takes it
// ("http" and the "s" in any case, the rest exactly).
TEST(ParseRequestView, SchemeReadAsAWordAcceptsWhatAByteReadingAccepts) {
    const auto plainScheme = [](const std::string& url) -> size_t {
        std::string lowered;
        for (const char c : url) lowered.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
        if (lowered.rfind("https://", 0) == 0) return 8;
        if (lowered.rfind("http://", 0) == 0) return 7;
        return 0;
    };
    for (const std::string base : {"http://h/p", "https://h/p", "HtTpS://h"}) {
        for (size_t place = 0; place < 8; ++place) {
            for (int byte = 0; byte < 256; ++byte) {
                if (std::strchr(" \r\n", byte) != nullptr) continue;  // NUL and those cut the line into tokens
                std::string url = base;
                url[place] = static_cast<char>(byte);
                const size_t rest = plainScheme(url);
                const RequestView view = ParseRequestView(url, std::nullopt);
                // Without a scheme the URL is a path on "localhost".
                ASSERT_EQ(view.hostport == std::optional<std::string_view>("localhost"), rest == 0) << url;
                if (rest != 0) {
                    EXPECT_EQ(view.hostport, url.substr(rest, url.find_first_of("/?#", rest) - rest)) << url;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tamsel
