// The Squid helper's answers: channel IDs, the two URI forms a proxy passes,
// the escaping of both directions, and lines that name no request.
#include <gtest/gtest.h>

#include <string>

#include "export/squid_helper_protocol.h"
#include "support/list_set.h"

namespace tamsel {
namespace {

using testing::MakeLists;

std::string Answer(const std::string& line, const testing::OwnedLists& lists) {
    return AnswerHelperLine(line, lists.view());
}

TEST(SquidHelperChannels, AChannelIdIsEchoedAndValuesAfterTheUriAreIgnored) {
    const auto lists = MakeLists("", "", "ads.example\n");
    const std::string refusal = "OK message=\"refused by list.txt:1 ads.example\"";
    EXPECT_EQ(Answer("http://ads.example/x", lists), refusal);
    EXPECT_EQ(Answer("http://ads.example/x -", lists), refusal);
    EXPECT_EQ(Answer("0 http://ads.example/x -", lists), "0 " + refusal);
    EXPECT_EQ(Answer("4294967296 http://ads.example/x", lists), "4294967296 " + refusal);
    EXPECT_EQ(Answer("17 http://www.example/ -\r", lists), "17 ERR");
    EXPECT_EQ(Answer("3\thttp://www.example/\targ", lists), "3 ERR");
    // A malformed line still answers on its channel, or Squid waits for it.
    EXPECT_EQ(Answer("9", lists), "9 BH message=\"no URI on the request line\"");
    EXPECT_EQ(Answer("9 -", lists), "9 BH message=\"neither a URL nor host:port: -\"");
}

TEST(SquidHelperUrls, AUrlIsJudgedAsTheToolJudgesIt) {
    const auto lists = MakeLists("www.example/ok\n", "",
                                 "ads.example\nwww.example/banner\n~www.example/banner/keep\n"
                                 "www.example:8080/\n");
    EXPECT_EQ(Answer("HTTP://Ads.Example:81/Anything", lists), "OK message=\"refused by list.txt:1 ads.example\"");
    EXPECT_EQ(Answer("http://www.example/banner1.gif", lists),
              "OK message=\"refused by list.txt:2 www.example/banner\"");
    EXPECT_EQ(Answer("http://www.example/banner/keep.gif", lists),
              "ERR message=\"passed by list.txt:3 ~www.example/banner/keep\"");
    EXPECT_EQ(Answer("http://www.example/ok.html", lists), "ERR message=\"trusted by list.txt:1 www.example/ok\"");
    EXPECT_EQ(Answer("http://www.example:8080/page", lists), "OK message=\"refused by list.txt:4 www.example:8080/\"");
    EXPECT_EQ(Answer("http://www.example/page", lists), "ERR");
    // A decrypted https request carries its whole URL too.
    EXPECT_EQ(Answer("https://www.example/banner1.gif", lists),
              "OK message=\"refused by list.txt:2 www.example/banner\"");
}

TEST(SquidHelperEscaping, TheUriKeepsItsEscapesAndMessagesAreQuoted) {
    // Squid leaves the URL's own "%" alone, so "%41" is the client's and is
    // no "a": decoding it would refuse what the module passes.
    const auto lists = MakeLists("", "", "www.example/a\nwww.example/x%20y\n");
    EXPECT_EQ(Answer("http://www.example/%41", lists), "ERR");
    EXPECT_EQ(Answer("http://www.example/x%20y", lists), "OK message=\"refused by list.txt:2 www.example/x%20y\"");
    const auto odd = MakeLists("", "", "www.example/\"q\\.x\n");
    EXPECT_EQ(Answer("http://www.example/%22q.x", odd), "ERR");
    EXPECT_EQ(Answer("http://www.example/\"q.x", odd), "OK message=\"refused by list.txt:1 www.example/\\\"q\\\\.x\"");
    EXPECT_EQ(QuoteHelperValue("a \"b\" \\c"), "\"a \\\"b\\\" \\\\c\"");
    // A line end inside a value would end the answer early.
    EXPECT_EQ(QuoteHelperValue("x\ny\r"), "\"x\\\\x0ay\\\\x0d\"");
}

TEST(SquidHelperTunnels, ConnectIsRefusedOnlyWhenEveryRequestToTheNameAndPortIs) {
    const auto lists = MakeLists("kept.example:443/ok\n", "",
                                 "ads.example\nsome.example/banner\ntls.example:8443\n"
                                 "kept.example\n");
    EXPECT_EQ(Answer("ads.example:443", lists), "OK message=\"refused by list.txt:1 ads.example\"");
    EXPECT_EQ(Answer("5 Sub.ADS.example:8443 -", lists), "5 OK message=\"refused by list.txt:1 ads.example\"");
    EXPECT_EQ(Answer("tls.example:8443", lists), "OK message=\"refused by list.txt:3 tls.example:8443\"");
    EXPECT_EQ(Answer("tls.example:443", lists), "ERR");
    // A line with a path, or a trust line with one, leaves some requests through.
    EXPECT_EQ(Answer("some.example:443", lists), "ERR");
    EXPECT_EQ(Answer("kept.example:443", lists), "ERR");
    EXPECT_EQ(Answer("kept.example:8443", lists), "OK message=\"refused by list.txt:4 kept.example\"");
    EXPECT_EQ(Answer("[2001:db8::1]:443", lists), "ERR");
    EXPECT_EQ(Answer("192.0.2.1:443", MakeLists("", "", "192.0.2.1\n")),
              "OK message=\"refused by list.txt:1 192.0.2.1\"");
}

TEST(SquidHelperMalformed, ALineThatNamesNoRequestGetsBrokenHelper) {
    const auto lists = MakeLists("", "", "ads.example\n");
    EXPECT_EQ(Answer("", lists), "BH message=\"no URI on the request line\"");
    EXPECT_EQ(Answer("  \r", lists), "BH message=\"no URI on the request line\"");
    const std::string notRequests[] = {"ads.example",
                                       "ads.example:",
                                       "ads.example:0",
                                       "ads.example:65536",
                                       "ads.example:443x",
                                       "ads.example:-1",
                                       ":443",
                                       "ads.example/x:443",
                                       "user@ads.example:443",
                                       "://ads.example/",
                                       "h:t:tp://ads.example/",
                                       "[::1:443",
                                       "ads example:443",
                                       std::string("http://ads.example/\0x", 21),
                                       "http://www.example/\x01",
                                       "http://www.example/\x7f"};
    for (const std::string& uri : notRequests) {
        const std::string answer = Answer(uri, lists);
        EXPECT_EQ(answer.rfind("BH message=\"neither a URL nor host:port: ", 0), 0u) << uri << " -> " << answer;
        EXPECT_EQ(answer.find_first_of(std::string("\0\x01\x7f\n", 4)), std::string::npos) << answer;
    }
}

}  // namespace
}  // namespace tamsel
