// The two gates that judge a host by its name alone: the name lookup and
// the server name of a TLS ClientHello.
#include <gtest/gtest.h>

#include <string>

#include "client_hello_fixtures.h"
#include "intercept/inspect.h"
#include "intercept/lookup.h"
#include "intercept/server_name.h"
#include "support/list_set.h"

namespace tamsel {
namespace {

using Lists = testing::OwnedLists;
using testing::MakeLists;

Verdict Hello(const Lists& lists, const std::string& bytes, int32_t port, std::string* url = nullptr) {
    return InspectClientHelloWith(bytes.data(), static_cast<int32_t>(bytes.size()), port, lists.view(), url).verdict;
}

TEST(InspectClientHello, TheNameAndPortAreJudgedByPathFreeLines) {
    const std::string& hello = fixtures::kHelloAdsExample;
    std::string url;
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example\n"), hello, 443, &url), Verdict::Refused);
    EXPECT_EQ(url, "https://ads.example:443/");
    EXPECT_EQ(Hello(MakeLists("", "example:8443\n", ""), hello, 8443), Verdict::Refused);
    EXPECT_EQ(Hello(MakeLists("", "example:8443\n", ""), hello, 443), Verdict::Passed);
    // A path cannot be seen, so a line with one neither refuses nor trusts.
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example/\n/banners/\n"), hello, 443), Verdict::Passed);
    EXPECT_EQ(Hello(MakeLists("ads.example/\n", "", "ads.example\n"), hello, 443), Verdict::Refused);
    EXPECT_EQ(Hello(MakeLists("ads.example:443\n", "", "ads.example\n"), hello, 443), Verdict::Trusted);
    EXPECT_EQ(Hello(MakeLists("", "", "ads.example\n~ads.example:443\n"), hello, 443), Verdict::Passed);
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

}  // namespace
}  // namespace tamsel
