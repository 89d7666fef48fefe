#include "listfiles/list_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "patterns/matcher.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

int SnapshotsIn(const std::filesystem::path& folder) {
    int n = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) n += file.path().extension() == ".snapshot";
    return n;
}

// A scratch folder with an empty cache folder inside it.
struct Scratch {
    Scratch() { std::filesystem::create_directory(cache); }
    testing::TempDir dir;
    std::string cache = (dir.path() / "cache").string();
};

bool Refuses(const PatternList& list, const char* url) {
    RequestUrl request;
    ParseRequestUrl(url, nullptr, &request);
    return MatchPatternList(&request, &list) == 1;
}

TEST(ListCache, LaterLoadsOfAFileComeFromItsSnapshotUntilTheFileChanges) {
    const Scratch scratch;
    const testing::TempDir& dir = scratch.dir;
    const std::string& cache = scratch.cache;
    const std::string list = dir.Write("BlockList.txt", "ads.x\n/*.*/banner\n~ads.x/keep\n");

    const ListLoadResult first = LoadListThroughCache(list, cache);
    ASSERT_TRUE(first.list);
    EXPECT_FALSE(first.list->storage);  // parsed
    EXPECT_EQ(SnapshotsIn(cache), 1);

    const ListLoadResult second = LoadListThroughCache(list, cache);
    ASSERT_TRUE(second.list);
    EXPECT_TRUE(second.list->storage);  // read in place
    EXPECT_EQ(second.list->source, list);
    EXPECT_TRUE(Refuses(*second.list, "http://ads.x/"));
    EXPECT_TRUE(Refuses(*second.list, "http://b.y/img/banner.gif"));
    EXPECT_FALSE(Refuses(*second.list, "http://ads.x/keep"));

    dir.Write("BlockList.txt", "other.x\n");
    const ListLoadResult third = LoadListThroughCache(list, cache);
    ASSERT_TRUE(third.list);
    EXPECT_FALSE(third.list->storage);
    EXPECT_TRUE(Refuses(*third.list, "http://other.x/"));
    EXPECT_FALSE(Refuses(*third.list, "http://ads.x/"));
    const ListLoadResult fourth = LoadListThroughCache(list, cache);
    ASSERT_TRUE(fourth.list);
    EXPECT_TRUE(fourth.list->storage);
    EXPECT_TRUE(Refuses(*fourth.list, "http://other.x/"));
    EXPECT_EQ(SnapshotsIn(cache), 1);  // the one snapshot of the file, replaced
}

TEST(ListCache, AFailedLoadLeavesNoSnapshotAndADamagedOneIsParsedOver) {
    const Scratch scratch;
    const testing::TempDir& dir = scratch.dir;
    const std::string& cache = scratch.cache;
    const std::string bad = dir.Write("UserBlock.txt", "ok.x\n/(a+)+\n");
    const ListLoadResult refused = LoadListThroughCache(bad, cache);
    EXPECT_FALSE(refused.list);
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->lineNumber, 2);
    EXPECT_EQ(SnapshotsIn(cache), 0);
    EXPECT_FALSE(LoadListThroughCache((dir.path() / "missing.txt").string(), cache).list);

    const std::string good = dir.Write("BlockList.txt", "ads.x\n");
    ASSERT_TRUE(LoadListThroughCache(good, cache).list);
    for (const auto& file : std::filesystem::directory_iterator(cache)) {
        std::filesystem::resize_file(file.path(), 100);
    }
    const ListLoadResult reparsed = LoadListThroughCache(good, cache);
    ASSERT_TRUE(reparsed.list);
    EXPECT_FALSE(reparsed.list->storage);
    EXPECT_TRUE(Refuses(*reparsed.list, "http://ads.x/"));
    const ListLoadResult restored = LoadListThroughCache(good, cache);
    ASSERT_TRUE(restored.list);
    EXPECT_TRUE(restored.list->storage);
}

}  // namespace
}  // namespace tamsel
