#include "patterns/path_table.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace tamsel {
namespace {

// Paths only the engine answers ("{n}" repeats), one per slot.
std::string EnginePath(int i) { return "/p" + std::to_string(i) + "x{2}[[:digit:]]"; }

struct Table {
    PathTable table;
    std::vector<std::string> paths;

    uint32_t Add(const std::string& path) {
        uint32_t slot = 0;
        std::string error;
        EXPECT_TRUE(table.Add(path, &slot, &error)) << path << ": " << error;
        paths.push_back(path);
        return slot;
    }
    bool Matches(uint32_t slot, const char* request) const {
        const LoweredPath lowered(request);
        return table.Matches(slot, paths[slot], lowered);
    }
};

// More engine paths than are kept compiled: each still answers rightly, the
// first ones from their kept expression and the rest compiled for the one
// match, and no more than the cap stay compiled.
TEST(PathTable, EngineExpressionsPastTheCapStillAnswer) {
    Table t;
    const int n = PathTable::kMaxLiveCompiled + 9;
    for (int i = 0; i < n; ++i) EXPECT_EQ(t.Add(EnginePath(i)), static_cast<uint32_t>(i));
    t.table.Seal();
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < n; ++i) {
            const std::string hit = "/P" + std::to_string(i) + "XX7/rest";
            const std::string miss = "/p" + std::to_string(i) + "x7";
            EXPECT_TRUE(t.Matches(static_cast<uint32_t>(i), hit.c_str())) << i;
            EXPECT_FALSE(t.Matches(static_cast<uint32_t>(i), miss.c_str())) << i;
        }
        EXPECT_EQ(t.table.liveCompiled(), PathTable::kMaxLiveCompiled);
    }
}

// A path with a shortcut meets the engine only for a request outside ASCII,
// and keeps no compiled expression for it.
TEST(PathTable, ShortcutPathsKeepNoExpression) {
    Table t;
    const uint32_t glob = t.Add("/*.*/ads/");
    const uint32_t automaton = t.Add("/*.*/ad[-_]?servers?");
    t.table.Seal();
    EXPECT_TRUE(t.Matches(glob, "/x/ADS/1.gif"));
    EXPECT_TRUE(t.Matches(glob, "/\xc3\xa9/ads/1.gif"));  // the engine answers this one
    EXPECT_FALSE(t.Matches(glob, "/\xc3\xa9/ad/1.gif"));
    EXPECT_TRUE(t.Matches(automaton, "/a/Ad_Server"));
    EXPECT_TRUE(t.Matches(automaton, "/\xc3\xa9/adservers"));
    EXPECT_FALSE(t.Matches(automaton, "/a/ad--server"));
    EXPECT_EQ(t.table.liveCompiled(), 0);
    EXPECT_EQ(t.table.Required(glob), "/ads/");
    EXPECT_EQ(t.table.Required(automaton), "server");
}

// Threads asking about the same engine paths at once all get the right
// answers (run under the thread sanitizer to see the cache is race-free).
TEST(PathTable, ConcurrentFirstUses) {
    Table t;
    const int n = PathTable::kMaxLiveCompiled * 2;
    for (int i = 0; i < n; ++i) t.Add(EnginePath(i));
    t.table.Seal();
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int k = 0; k < 4; ++k) {
        threads.emplace_back([&, k] {
            for (int i = 0; i < n; ++i) {
                const std::string hit = "/p" + std::to_string(i) + "xx0";
                wrong[k] += !t.Matches(static_cast<uint32_t>(i), hit.c_str());
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    EXPECT_LE(t.table.liveCompiled(), PathTable::kMaxLiveCompiled);
}

}  // namespace
}  // namespace tamsel
