// The request corpus through a large list, against the reference walk. The
// list is not part of the repository: name it in TAMSEL_BIG_LIST (a list
// written by "tamsel import", say) to run this; the walk takes a minute.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "patterns/matcher.h"
#include "support/matcher_answer.h"
#include "support/reference_walk.h"
#include "support/request_corpus.h"

namespace tamsel {
namespace {

TEST(LargeList, CorpusDecidedAsTheWalkDecidesIt) {
    const char* listPath = std::getenv("TAMSEL_BIG_LIST");
    if (listPath == nullptr) GTEST_SKIP() << "TAMSEL_BIG_LIST names no list";
    const char* corpus = std::getenv("TAMSEL_BENCH_REQUESTS");
    const std::vector<std::string> urls =
        testing::ReadCorpusUrls(corpus ? corpus : TAMSEL_SOURCE_DIR "/../shared/bench-data/requests.json");
    ASSERT_FALSE(urls.empty());
    std::ifstream in(listPath, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const ListLoadResult loaded = ParsePatternListText(text, listPath);
    ASSERT_TRUE(loaded.list) << loaded.error->lineNumber << ": " << loaded.error->message;

    std::vector<testing::ReferenceRequest> requests;
    std::vector<const PatternEntry*> decided;
    for (const std::string& url : urls) {
        RequestUrl request;
        ParseRequestUrl(url.c_str(), nullptr, &request);
        requests.push_back({request.host.value_or(""), request.port, request.path.value_or("/")});
        decided.push_back(FindDecidingEntry(request, loaded.list.get()));
    }
    std::vector<testing::ReferenceAnswer> expected;
    ASSERT_TRUE(testing::ReferenceDecideAll(text, requests, &expected));
    int refused = 0;
    int excepted = 0;
    for (size_t i = 0; i < urls.size(); ++i) {
        const testing::ReferenceAnswer got = testing::AnswerOf(*loaded.list, decided[i]);
        EXPECT_EQ(got, expected[i]) << urls[i] << " decided by line " << got.lineNumber << ", the walk says "
                                    << expected[i].lineNumber;
        refused += got.lineNumber != 0 && got.positive;
        excepted += got.lineNumber != 0 && !got.positive;
    }
    std::printf("%zu requests through %zu lines: %d refused, %d passed by an exception line, all as the walk\n",
                urls.size(), loaded.list->entries.size(), refused, excepted);
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace tamsel
