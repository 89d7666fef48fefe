#include "listfiles/list_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "listfiles/list_folders.h"
#include "listfiles/list_store.h"
#include "patterns/matcher.h"
#include "platform/env.h"
#include "runtime/shared_state.h"
#include "support/list_set.h"
#include "support/scoped_env.h"
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

bool FromSnapshot(const std::string& list, const std::string& cache) {
    const ListLoadResult loaded = LoadListThroughCache(list, cache);
    return loaded.ok() && loaded.value()->storage;
}

bool Refuses(const PatternList& list, const char* url) {
    RequestUrl request;
    ParseRequestUrl(url, nullptr, &request);
    return testing::Refuses(&list, request);
}

TEST(ListCache, LaterLoadsOfAFileComeFromItsSnapshotUntilTheFileChanges) {
    const Scratch scratch;
    const testing::TempDir& dir = scratch.dir;
    const std::string& cache = scratch.cache;
    const std::string list = dir.Write("BlockList.txt", "ads.x\n/*.*/banner\n~ads.x/keep\n");

    const ListLoadResult first = LoadListThroughCache(list, cache);
    ASSERT_TRUE(first.ok());
    EXPECT_FALSE(first.value()->storage);  // parsed
    EXPECT_EQ(SnapshotsIn(cache), 1);

    const ListLoadResult second = LoadListThroughCache(list, cache);
    ASSERT_TRUE(second.ok());
    EXPECT_TRUE(second.value()->storage);  // read in place
    EXPECT_EQ(second.value()->source, list);
    EXPECT_TRUE(Refuses(*second.value(), "http://ads.x/"));
    EXPECT_TRUE(Refuses(*second.value(), "http://b.y/img/banner.gif"));
    EXPECT_FALSE(Refuses(*second.value(), "http://ads.x/keep"));

    dir.Write("BlockList.txt", "other.x\n");
    const ListLoadResult third = LoadListThroughCache(list, cache);
    ASSERT_TRUE(third.ok());
    EXPECT_FALSE(third.value()->storage);
    EXPECT_TRUE(Refuses(*third.value(), "http://other.x/"));
    EXPECT_FALSE(Refuses(*third.value(), "http://ads.x/"));
    const ListLoadResult fourth = LoadListThroughCache(list, cache);
    ASSERT_TRUE(fourth.ok());
    EXPECT_TRUE(fourth.value()->storage);
    EXPECT_TRUE(Refuses(*fourth.value(), "http://other.x/"));
    EXPECT_EQ(SnapshotsIn(cache), 1);  // the one snapshot of the file, replaced
}

TEST(ListCache, AFailedLoadLeavesNoSnapshotAndADamagedOneIsParsedOver) {
    const Scratch scratch;
    const testing::TempDir& dir = scratch.dir;
    const std::string& cache = scratch.cache;
    const std::string bad = dir.Write("UserBlock.txt", "ok.x\n/(a+)+\n");
    const ListLoadResult refused = LoadListThroughCache(bad, cache);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.failure().lineNumber, 2);
    EXPECT_EQ(SnapshotsIn(cache), 0);
    EXPECT_FALSE(LoadListThroughCache((dir.path() / "missing.txt").string(), cache).ok());

    const std::string good = dir.Write("BlockList.txt", "ads.x\n");
    ASSERT_TRUE(LoadListThroughCache(good, cache).ok());
    for (const auto& file : std::filesystem::directory_iterator(cache)) {
        std::filesystem::resize_file(file.path(), 100);
    }
    const ListLoadResult reparsed = LoadListThroughCache(good, cache);
    ASSERT_TRUE(reparsed.ok());
    EXPECT_FALSE(reparsed.value()->storage);
    EXPECT_TRUE(Refuses(*reparsed.value(), "http://ads.x/"));
    const ListLoadResult restored = LoadListThroughCache(good, cache);
    ASSERT_TRUE(restored.ok());
    EXPECT_TRUE(restored.value()->storage);
}

// Opening a snapshot when memory has run out.
class OutOfMemoryEnv : public EnvWrapper {
public:
    OutOfMemoryEnv() : EnvWrapper(PlatformEnv()) {}
    std::unique_ptr<ListStorage> OpenSnapshotFile(const std::string&) override { throw std::bad_alloc(); }
};

// Running out of memory anywhere in a load fails that load with its reason,
// as a bad line does: the list in use stays and nothing is thrown at the
// module or the editor that asked.
TEST(ListCache, RunningOutOfMemoryFailsTheLoadAndKeepsTheListInUse) {
    const Scratch scratch;
    scratch.dir.Write("UserBlock.txt", "ads.x\n");
    SharedState state;
    const ListStore store(state, FilesOf(OneFolder(scratch.dir.path().string())), scratch.cache);
    ASSERT_FALSE(store.Publish(ListKind::UserBlock));
    OutOfMemoryEnv env;
    const testing::ScopedEnv scoped(env);
    const std::optional<Failure> failure = store.Publish(ListKind::UserBlock);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "out of memory");
    EXPECT_EQ(failure->lineNumber, 0);
    EXPECT_TRUE(state.Present(ListKind::UserBlock));
}

// A list written through the store is taken up from its snapshot by the
// first load, whichever spelling of its folder the writer was given; one
// changed by hand is parsed. The snapshot never decides whether the list is
// written.
TEST(ListCache, AWriterLeavesTheSnapshotTheNextLoadTakesUp) {
    const Scratch scratch;
    const testing::TempDir& dir = scratch.dir;
    const std::string list = dir.Write("UserBlock.txt", "old.x\n");
    std::filesystem::create_directory(dir.path() / "sub");
    SharedState state;
    const ListStore store(state, FilesOf(OneFolder((dir.path() / "sub" / "..").string())), scratch.cache);

    ASSERT_TRUE(store.WriteEntries(ListKind::UserBlock, {"new.x", "/*.*/banner"}).written);
    EXPECT_EQ(SnapshotsIn(scratch.cache), 1);
    const ListLoadResult first = LoadListThroughCache(list, scratch.cache);
    ASSERT_TRUE(first.ok());
    EXPECT_TRUE(first.value()->storage);
    EXPECT_TRUE(Refuses(*first.value(), "http://new.x/"));
    EXPECT_TRUE(Refuses(*first.value(), "http://b.y/img/banner.gif"));
    EXPECT_FALSE(Refuses(*first.value(), "http://old.x/"));

    dir.Write("UserBlock.txt", "hand.x\n");
    const ListLoadResult byHand = LoadListThroughCache(list, scratch.cache);
    ASSERT_TRUE(byHand.ok());
    EXPECT_FALSE(byHand.value()->storage);
    EXPECT_TRUE(Refuses(*byHand.value(), "http://hand.x/"));

    // A list that would not load is written all the same, without a snapshot.
    ASSERT_TRUE(store.WriteEntries(ListKind::UserBlock, {"ok.x", "/(a+)+"}).written);
    EXPECT_EQ(SnapshotsIn(scratch.cache), 1);
    EXPECT_FALSE(FromSnapshot(list, scratch.cache));

    // A cache folder that is a file: no snapshot can be written there.
    const std::string notAFolder = dir.Write("not-a-folder", "");
    const ListStore blocked(state, FilesOf(OneFolder(dir.path().string())), notAFolder);
    const ListWriteResult written = blocked.WriteEntries(ListKind::UserBlock, {"kept.x"});
    EXPECT_TRUE(written.written) << written.error;
    EXPECT_TRUE(written.error.empty()) << written.error;
    const ListLoadResult reread = LoadPatternListChecked(list);
    ASSERT_TRUE(reread.ok());
    EXPECT_TRUE(Refuses(*reread.value(), "http://kept.x/"));
}

// Each write trims the folder: snapshots of lists that are gone, and files
// of an older making, go first, then the oldest beyond the bounds; the one
// just written stays whatever its size, and files that are not snapshots
// are left alone.
TEST(ListCache, TheCacheKeepsOnlySnapshotsOfListsThatExistWithinItsBounds) {
    const Scratch scratch;
    const testing::TempDir& dir = scratch.dir;
    const std::string& cache = scratch.cache;
    const std::string foreign = cache + "/notes.txt", oldMaking = cache + "/list-0123456789abcdef.snapshot";
    std::ofstream(foreign) << "mine";
    std::ofstream(oldMaking) << std::string(64, 'x');
    // The writes follow each other faster than some file systems tell their
    // times apart: each new snapshot is dated a second after the one before.
    const auto anHourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::set<std::filesystem::path> dated;
    std::vector<std::string> lists;
    for (int i = 0; i < 20; ++i) {
        lists.push_back(dir.Write("list" + std::to_string(i) + ".txt", "host" + std::to_string(i) + ".x\n"));
        WriteListSnapshot(lists.back(), cache);
        for (const auto& file : std::filesystem::directory_iterator(cache)) {
            if (file.path().extension() != ".snapshot" || !dated.insert(file.path()).second) continue;
            std::filesystem::last_write_time(file.path(), anHourAgo + std::chrono::seconds(i));
        }
    }
    EXPECT_EQ(SnapshotsIn(cache), static_cast<int>(SnapshotCacheBounds{}.files));
    EXPECT_TRUE(std::filesystem::exists(foreign));
    EXPECT_FALSE(std::filesystem::exists(oldMaking));
    EXPECT_TRUE(FromSnapshot(lists[19], cache));
    EXPECT_FALSE(FromSnapshot(lists[0], cache));  // the oldest went (and is parsed now, pushing another out)

    std::filesystem::remove(lists[19]);
    std::filesystem::remove(lists[17]);
    WriteListSnapshot(lists[18], cache);
    EXPECT_EQ(SnapshotsIn(cache), static_cast<int>(SnapshotCacheBounds{}.files) - 2);
    EXPECT_TRUE(FromSnapshot(lists[18], cache));

    TrimSnapshotCache(cache, lists[16], {3, UINT64_MAX});
    EXPECT_EQ(SnapshotsIn(cache), 3);
    EXPECT_TRUE(FromSnapshot(lists[16], cache));
    TrimSnapshotCache(cache, lists[16], {100, 1});
    EXPECT_EQ(SnapshotsIn(cache), 1);
    EXPECT_TRUE(FromSnapshot(lists[16], cache));
    EXPECT_TRUE(std::filesystem::exists(foreign));
}

}  // namespace
}  // namespace tamsel
