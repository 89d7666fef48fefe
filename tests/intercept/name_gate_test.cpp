// The two gates that judge a host by its name alone: the name lookup and
// the server name of a TLS ClientHello.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_hello_fixtures.h"
#include "intercept/inspect.h"
#include "intercept/lookup.h"
#include "intercept/server_name.h"
#include "support/lcg.h"
#include "support/list_set.h"
#include "support/random_lines.h"
#include "support/reference_walk.h"

namespace tamsel {
namespace {

using Lists = testing::OwnedLists;
using testing::MakeLists;

Verdict Hello(const Lists& lists, const std::string& bytes, int32_t port, std::string* url = nullptr) {
    return InspectClientHelloWith(bytes.data(), static_cast<int32_t>(bytes.size()), port, lists.view(), url).verdict;
}

TEST(InspectClientHello, ANameIsRefusedOnlyWhenEveryRequestToItAndItsPortIs) {
    const std::string& hello = fixtures::kHelloAdsExample;
    std::string url;
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example\n"), hello, 443, &url), Verdict::Refused);
    EXPECT_EQ(url, "https://ads.example:443/");
    EXPECT_EQ(Hello(MakeLists("", "example:8443\n", ""), hello, 8443), Verdict::Refused);
    EXPECT_EQ(Hello(MakeLists("", "example:8443\n", ""), hello, 443), Verdict::Passed);
    // A line with a path refuses only some requests.
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example/\n/banners/\n"), hello, 443), Verdict::Passed);
    // A trust line or an exception with a path lets some requests through.
    EXPECT_EQ(Hello(MakeLists("ads.example/ok\n", "", "ads.example\n"), hello, 443), Verdict::Passed);
    EXPECT_EQ(Hello(MakeLists("/ok\n", "", "ads.example\n"), hello, 443), Verdict::Passed);
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example\n~ads.example/keep/\n"), hello, 443), Verdict::Passed);
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example\n~/*.*keep\n"), hello, 443), Verdict::Passed);
    EXPECT_EQ(Hello(MakeLists("ads.example:443\n", "", "ads.example\n"), hello, 443), Verdict::Passed);
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example\n~ads.example:443\n"), hello, 443), Verdict::Passed);
    // ... but only on their own port.
    EXPECT_EQ(Hello(MakeLists("ads.example:8443/ok\n", "", "ads.example\n"), hello, 443), Verdict::Refused);
    EXPECT_EQ(Hello(MakeLists("ads.example:8443/ok\n", "", "ads.example\n"), hello, 8443), Verdict::Passed);
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example\n~ads.example:8443/keep/\n"), hello, 443), Verdict::Refused);
    // An exception before the line decides nothing; the other block list still refuses.
    EXPECT_EQ(Hello(MakeLists("", "", "~ads.example/keep/\nads.example\n"), hello, 443), Verdict::Refused);
    EXPECT_EQ(Hello(MakeLists("", "ads.example:443\n", "ads.example\n~ads.example/keep/\n"), hello, 443),
              Verdict::Refused);
}

TEST(InspectClientHello, AnythingButAWholeNamedHelloPasses) {
    const Lists lists = MakeLists("", "", "*\n");
    const std::string& hello = fixtures::kHelloAdsExample;
    EXPECT_EQ(Hello(lists, hello, 443), Verdict::Refused);
    EXPECT_EQ(Hello(lists, fixtures::kHelloWithoutName, 443), Verdict::Passed);
    EXPECT_EQ(Hello(lists, hello.substr(0, hello.size() - 1), 443), Verdict::Passed);
    EXPECT_EQ(Hello(lists, hello.substr(0, 5), 443), Verdict::Passed);
    EXPECT_EQ(Hello(lists, "GET / HTTP/1.1\r\nHost: ads.example\r\n\r\n", 80), Verdict::Passed);
    EXPECT_EQ(InspectClientHelloWith(nullptr, 100, 443, lists.view()).verdict, Verdict::Passed);
    EXPECT_EQ(InspectClientHelloWith(hello.data(), -1, 443, lists.view()).verdict, Verdict::Passed);
    // Nor does the request gate take a ClientHello for a request head.
    EXPECT_EQ(InspectRequestWith(hello.data(), static_cast<int32_t>(hello.size()), lists.view()).verdict,
              Verdict::Passed);
}

// An IPv4 or IPv6 peer keeps its port, high byte first, after its family;
// any other peer, or none, goes to the usual TLS port.
TEST(PeerPort, ReadsTheInternetPortAndFallsBackOtherwise) {
    const unsigned char v4[16] = {2, 0, 0x20, 0xfb, 127, 0, 0, 1};  // port 8443, 127.0.0.1
    EXPECT_EQ(PeerPort(v4, sizeof v4, true), 8443);
    EXPECT_EQ(PeerPort(v4, sizeof v4, false), kDefaultTlsPort);  // a local socket, say
    EXPECT_EQ(PeerPort(v4, 0, true), kDefaultTlsPort);           // the socket could not say
}

TEST(InspectLookup, NumericAddressesAreNeverRefused) {
    const Lists lists = MakeLists("", "", "*\n");
    for (const char* name : {"127.0.0.1", "10.1", "2130706433", "0x7f.1", "::1", "[::1]", "fe80::1%eth0", "1.2.3.4."}) {
        EXPECT_TRUE(IsNumericAddress(name)) << name;
        EXPECT_EQ(InspectLookupWith(name, lists.view()).verdict, Verdict::Passed) << name;
    }
    for (const char* name : {"ads.x", "1.2.3.ads", "localhost", "x1.y"}) {
        EXPECT_FALSE(IsNumericAddress(name)) << name;
        EXPECT_EQ(InspectLookupWith(name, lists.view()).verdict, Verdict::Refused) << name;
    }
    EXPECT_EQ(InspectLookupWith(std::string(300, 'a'), lists.view()).verdict, Verdict::Passed);
    EXPECT_EQ(InspectLookupWith("", lists.view()).verdict, Verdict::Passed);
}

// The request stage's verdict on every request, from a plain walk of each
// list in turn: the trust list, then the user's block list, then the shipped
// one; the first whose deciding line is an ordinary line decides.
std::vector<bool> WalkRefuses(const std::string (&texts)[3], const std::vector<testing::ReferenceRequest>& requests) {
    std::vector<testing::ReferenceAnswer> answers[3];
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(testing::ReferenceDecideAll(texts[k], requests, &answers[k]));
    std::vector<bool> refused(requests.size());
    for (size_t r = 0; r < requests.size(); ++r) {
        const bool trusted = answers[0][r].positive;
        refused[r] = !trusted && (answers[1][r].positive || answers[2][r].positive);
    }
    return refused;
}

// The paths to try on a refused name: those of the lists' lines taken as
// they are written and with their wildcards dropped, and a few of no line.
std::vector<std::string> PathsToTry(const std::string (&texts)[3]) {
    std::vector<std::string> paths = {"/", "/p", "/q", "/a.q/b", "/keep", "/ok/x"};
    for (const std::string& text : texts) {
        for (size_t at = 0; (at = text.find('/', at)) != std::string::npos;) {
            const std::string path = text.substr(at, text.find('\n', at) - at);
            std::string plain = path;
            std::erase(plain, '*');
            paths.push_back(path);
            paths.push_back(plain);
            at += path.size();
        }
    }
    return paths;
}

// Random lists over a small alphabet, so that names, ports, paths, trust
// lines and exceptions often meet: whenever the server-name stage refuses a
// name on a port, every request to that name and port is refused by the
// walk of the lists, whatever its path.
TEST(InspectClientHello, NeverRefusesANameAndPortWithARequestThatWouldPass) {
    const char* const ports[] = {"", "", "", ":443", ":8443"};
    const char* const paths[] = {"", "", "/p", "/*.*q", "/", "/keep", "/ok"};
    testing::Lcg next(4242);
    auto randomList = [&](int lines) { return testing::RandomHostLines(next, lines, ports, paths); };
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        const std::string texts[3] = {next(2) == 0 ? randomList(2) : "", randomList(4), randomList(8)};
        const Lists lists = MakeLists(texts[0], texts[1], texts[2]);
        const std::vector<std::string> tried = PathsToTry(texts);
        for (int probe = 0; probe < 10; ++probe) {
            std::string name;
            for (uint32_t i = 0, depth = 1 + next(3); i < depth; ++i) {
                name += std::string(i ? "." : "") + testing::kRandomLabels[next(3) * 2 % 6];
            }
            const int32_t port = next(2) ? 443 : 8443;
            if (Hello(lists, fixtures::HelloNaming(name), port) != Verdict::Refused) continue;
            ++refused;
            std::vector<testing::ReferenceRequest> requests;
            for (const std::string& path : tried) requests.push_back({name, port, path});
            const std::vector<bool> walk = WalkRefuses(texts, requests);
            for (size_t r = 0; r < requests.size(); ++r) {
                EXPECT_TRUE(walk[r]) << "https://" << name << ":" << port << requests[r].path << "\ntrust:\n"
                                     << texts[0] << "user:\n"
                                     << texts[1] << "shipped:\n"
                                     << texts[2];
            }
        }
    }
    EXPECT_GT(refused, 300);  // the lists do refuse names often enough to test
}

}  // namespace
}  // namespace tamsel
