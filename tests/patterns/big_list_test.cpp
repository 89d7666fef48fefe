// The request corpus through a large list, against the reference walk. The
// list is not part of the repository: name it in TAMSEL_BIG_LIST (a list
// written by "tamsel import", say) to run this; the walk takes a minute.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "intercept/client_hello_fixtures.h"
#include "intercept/server_name.h"
#include "patterns/matcher.h"
#include "support/matcher_answer.h"
#include "support/reference_walk.h"
#include "support/request_corpus.h"
#include "support/list_set.h"

namespace tamsel {
namespace {

// The corpus's requests as the walk takes them, with the walk's answers.
class LargeList : public ::testing::Test {
protected:
    void SetUp() override {
        const char* listPath = std::getenv("TAMSEL_BIG_LIST");
        if (listPath == nullptr) GTEST_SKIP() << "TAMSEL_BIG_LIST names no list";
        const char* corpus = std::getenv("TAMSEL_BENCH_REQUESTS");
        urls_ = testing::ReadCorpusUrls(corpus ? corpus : TAMSEL_SOURCE_DIR "/../shared/bench-data/requests.json");
        ASSERT_FALSE(urls_.empty());
        std::ifstream in(listPath, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ListLoadResult loaded = ParsePatternListText(text, listPath);
        ASSERT_TRUE(loaded.ok()) << loaded.failure().lineNumber << ": " << loaded.message();
        list_ = std::move(loaded.value());
        for (const std::string& url : urls_) {
            RequestUrl request;
            ParseRequestUrl(url.c_str(), nullptr, &request);
            requests_.push_back({request.host.value_or(""), request.port, request.path.value_or("/")});
        }
        ASSERT_TRUE(testing::ReferenceDecideAll(text, requests_, &expected_));
    }

    std::vector<std::string> urls_;
    std::unique_ptr<PatternList> list_;
    std::vector<testing::ReferenceRequest> requests_;
    std::vector<testing::ReferenceAnswer> expected_;
};

TEST_F(LargeList, CorpusDecidedAsTheWalkDecidesIt) {
    int refused = 0;
    int excepted = 0;
    for (size_t i = 0; i < urls_.size(); ++i) {
        RequestUrl request;
        ParseRequestUrl(urls_[i].c_str(), nullptr, &request);
        const testing::ReferenceAnswer got = testing::AnswerOf(*list_, testing::DecidingEntry(list_.get(), request));
        EXPECT_EQ(got, expected_[i]) << urls_[i] << " decided by line " << got.lineNumber << ", the walk says "
                                     << expected_[i].lineNumber;
        refused += got.lineNumber != 0 && got.positive;
        excepted += got.lineNumber != 0 && !got.positive;
    }
    std::printf("%zu requests through %zu lines: %d refused, %d passed by an exception line, all as the walk\n",
                urls_.size(), list_->entries.size(), refused, excepted);
    EXPECT_GT(refused, 0);
}

// A ClientHello naming each request's host, sent to its port, is refused
// only when the walk refuses that request too: the lists' exceptions with a
// path exist so that pages work, and a refused connection would break them.
TEST_F(LargeList, TheServerNameStageRefusesNoRequestTheListPasses) {
    const ListSet lists{nullptr, nullptr, list_.get()};
    int refusedByName = 0;
    for (size_t i = 0; i < requests_.size(); ++i) {
        const std::string hello = fixtures::HelloNaming(requests_[i].host);
        const auto size = static_cast<int32_t>(hello.size());
        if (InspectClientHelloWith(hello.data(), size, requests_[i].port, lists).verdict != Verdict::Refused) continue;
        ++refusedByName;
        EXPECT_TRUE(expected_[i].positive)
            << urls_[i] << " passes, the walk's deciding line is " << expected_[i].lineNumber;
    }
    // A list with an exception line without a host after its host lines
    // (the imported general lists carry two) leaves no name wholly refused.
    std::printf("%d of %zu requests refused by their server name and port, each refused by the walk\n", refusedByName,
                requests_.size());
}

}  // namespace
}  // namespace tamsel
