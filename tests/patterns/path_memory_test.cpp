// Memory of a loaded list across requests, read from the C library's heap
// statistics (glibc only, so this suite runs natively).
#include <gtest/gtest.h>
#include <malloc.h>

#include <string>

#include "patterns/matcher.h"
#include "support/list_set.h"
#include "patterns/pattern_list.h"
#include "patterns/request_url.h"

namespace tamsel {
namespace {

size_t HeapInUse() { return mallinfo2().uordblks; }

// A path whose matching once needed a state for every combination of the
// counts pending: a thousand different long requests leave the heap as it
// was, however many of them match.
TEST(PathMemory, ManyLongRequestsLeaveTheHeapAsItWas) {
    const auto list = ParsePatternListText("/.*[0-9].{40}/\n/.*a.{254}c\n", "memory.txt").value();
    ASSERT_TRUE(list);
    int refused = 0;
    const auto ask = [&](int i) {
        std::string path = "/";
        for (int k = 0; k < 400; ++k) path += static_cast<char>("0123456789abcdef/"[(i * 7919 + k * k * 31) % 17]);
        const std::string url = "http://h.example" + path;
        RequestUrl request;
        ParseRequestUrl(url.c_str(), nullptr, &request);
        refused += testing::Refuses(list.get(), request);
    };
    ask(0);  // whatever is made once, on first use
    const size_t before = HeapInUse();
    for (int i = 1; i <= 1000; ++i) ask(i);
    EXPECT_EQ(HeapInUse(), before);
    EXPECT_GT(refused, 100);
}

}  // namespace
}  // namespace tamsel
