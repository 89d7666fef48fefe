#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "base/boundary.h"
#include "base/status.h"
#include "base/unique_any.h"

namespace tamsel {
namespace {

std::vector<int> g_closed;
int CloseRecording(int handle) {
    g_closed.push_back(handle);
    return handle == 13 ? -1 : 0;  // 13 fails to close
}
using Owned = UniqueAny<int, &CloseRecording, -1>;

TEST(UniqueAny, ClosesEachHandleOnceWhateverPathItTakes) {
    g_closed.clear();
    {
        Owned a(1);
        Owned b(std::move(a));  // moved: only b closes
        EXPECT_FALSE(a);
        Owned c(2);
        c = std::move(b);  // c's old handle closes now
        EXPECT_EQ(g_closed, std::vector<int>{2});
        *c.put() = 3;  // put() closes 1 first
        EXPECT_EQ(g_closed, (std::vector<int>{2, 1}));
        Owned d(4);
        EXPECT_EQ(d.release(), 4);  // released: never closed
        Owned empty;
        Owned minusOne(-1);
        EXPECT_FALSE(empty);
        EXPECT_FALSE(minusOne);
    }
    EXPECT_EQ(g_closed, (std::vector<int>{2, 1, 3}));
}

TEST(UniqueAny, CloseNowGivesTheCloseFunctionsAnswer) {
    g_closed.clear();
    Owned good(5), bad(13), none;
    EXPECT_EQ(good.CloseNow(), 0);
    EXPECT_EQ(bad.CloseNow(), -1);
    EXPECT_EQ(none.CloseNow(), std::nullopt);
    EXPECT_FALSE(good);
    EXPECT_EQ(g_closed, (std::vector<int>{5, 13}));  // and not again at the end
}

TEST(AtBoundary, NothingThrownCrossesAndEachFailureGetsItsAnswer) {
    EXPECT_EQ(AtBoundary(-1, [] { return 7; }), 7);
    EXPECT_EQ(AtBoundary(-1, []() -> int { throw std::runtime_error("x"); }), -1);
    EXPECT_EQ(AtBoundary(-2, -1, []() -> int { throw std::bad_alloc(); }), -2);
    EXPECT_EQ(AtBoundary(-2, -1, []() -> int { throw 3; }), -1);
    EXPECT_EQ(AtBoundary(-2, -1, [] { return 0; }), 0);
}

TEST(Result, AnEmptyValueIsNotAFailureAndAFailureKeepsItsMessage) {
    const Result<std::string> empty(std::string{});
    EXPECT_TRUE(empty.ok());
    EXPECT_EQ(*empty, "");
    EXPECT_EQ(empty.message(), "");
    EXPECT_TRUE(empty.status().ok());

    const Result<std::string> failed(Failure{"cannot read x"});
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.message(), "cannot read x");
    const Status status = failed.status();
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.message(), "cannot read x");

    EXPECT_TRUE(Status().ok());
    EXPECT_FALSE(Status(Failure{}).ok());  // a failure without words is still a failure
}

}  // namespace
}  // namespace tamsel
