// The files the module keeps and trusts on Linux: snapshots that other
// programs change under it, cache folders and logs that are not the user's
// alone, temporary files left by killed writers, and linked list files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "listfiles/list_cache.h"
#include "patterns/matcher.h"
#include "platform/env.h"
#include "runtime/refusal_log.h"
#include "support/cache_home.h"
#include "support/list_set.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Refuses(const PatternList& list, const std::string& url) {
    RequestUrl request;
    ParseRequestUrl(url.c_str(), nullptr, &request);
    return testing::Refuses(&list, request);
}

// A list of many lines, so that its snapshot spans many pages.
std::string ManyLines() {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "ads" + std::to_string(i) + ".x/banner" + std::to_string(i % 7) + "/\n";
    return text + "~ads5.x/banner5/ok\n";
}

struct Cache {
    Cache() { fs::create_directory(folder); }
    testing::TempDir dir;
    std::string folder = (dir.path() / "cache").string();
    fs::path OnlySnapshot() const {
        for (const auto& file : fs::directory_iterator(folder)) {
            if (file.path().extension() == ".snapshot") return file.path();
        }
        return {};
    }
};

// Another program cuts a snapshot short or writes over it in place while a
// list taken up from it is in use: the list answers as before.
TEST(SnapshotInUse, ChangesToTheFileByOthersNeitherCrashNorChangeVerdicts) {
    for (const bool truncate : {true, false}) {
        const Cache cache;
        const std::string list = cache.dir.Write("BlockList.txt", ManyLines());
        ASSERT_TRUE(LoadListThroughCache(list, cache.folder).ok());
        const fs::path snapshot = cache.OnlySnapshot();
        ASSERT_FALSE(snapshot.empty());
        EXPECT_EXIT(
            {
                const ListLoadResult loaded = LoadListThroughCache(list, cache.folder);
                if (!loaded.ok() || !loaded.value()->storage) _exit(2);
                const auto size = fs::file_size(snapshot);
                if (truncate) {
                    fs::resize_file(snapshot, 0);
                } else {  // in place, as cp or rsync --inplace write
                    std::fstream over(snapshot, std::ios::in | std::ios::out | std::ios::binary);
                    over << std::string(size, '\xff');
                }
                for (int i = 0; i < 20000; i += 97) {
                    const std::string host = "http://ads" + std::to_string(i) + ".x/";
                    if (!Refuses(*loaded.value(), host + "banner" + std::to_string(i % 7) + "/a.gif")) _exit(3);
                    if (Refuses(*loaded.value(), host + "banner" + std::to_string((i + 1) % 7) + "/a.gif")) _exit(4);
                }
                if (Refuses(*loaded.value(), "http://ads5.x/banner5/ok")) _exit(5);
                _exit(0);
            },
            ::testing::ExitedWithCode(0), "")
            << (truncate ? "truncated" : "rewritten");
    }
}

TEST(CacheTrust, AFolderOthersCanWriteOrALinkIsNoCacheFolder) {
    const testing::ScopedCacheHome home;
    const fs::path folder = home.folder();
    EXPECT_EQ(TheEnv().CacheFolderPath(), folder.string());  // made, 0700
    fs::permissions(folder, fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(TheEnv().CacheFolderPath(), std::nullopt);
    fs::remove(folder);
    testing::TempDir elsewhere;
    fs::create_directory_symlink(elsewhere.path(), folder);
    EXPECT_EQ(TheEnv().CacheFolderPath(), std::nullopt);
}

TEST(CacheTrust, ASnapshotOthersCanWriteIsParsedOverAndRewrittenForTheUserAlone) {
    const Cache cache;
    const std::string list = cache.dir.Write("BlockList.txt", "ads.x\n");
    ASSERT_TRUE(LoadListThroughCache(list, cache.folder).ok());
    const fs::path snapshot = cache.OnlySnapshot();
    EXPECT_EQ(fs::status(snapshot).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(snapshot, fs::perms::others_write, fs::perm_options::add);
    const ListLoadResult parsed = LoadListThroughCache(list, cache.folder);
    ASSERT_TRUE(parsed.ok());
    EXPECT_FALSE(parsed.value()->storage);
    EXPECT_TRUE(Refuses(*parsed.value(), "http://ads.x/"));
    EXPECT_EQ(fs::status(snapshot).permissions() & fs::perms::others_write, fs::perms::none);
    const ListLoadResult taken = LoadListThroughCache(list, cache.folder);
    ASSERT_TRUE(taken.ok());
    EXPECT_TRUE(taken.value()->storage);
}

// Only old temporary files of our own snapshot writes go; a write under
// way in another program, and anything not ours by name, stay.
TEST(CacheTrust, StaleTemporariesOfSnapshotWritesAreRemovedWhenASnapshotIsWritten) {
    const Cache cache;
    const fs::path folder = cache.folder;
    const auto make = [&](const std::string& name, time_t age) {
        std::ofstream(folder / name) << "partial";
        const time_t when = time(nullptr) - age;
        const utimbuf times{when, when};
        utime((folder / name).c_str(), &times);
    };
    make("list-0123456789abcdef.snapshot.tmp-4242-0", 3600);
    make("list-0123456789abcdef.snapshot.tmp-4243-0", 5);
    make("notes.tmp-4242-0", 3600);
    const std::string list = cache.dir.Write("BlockList.txt", "ads.x\n");
    ASSERT_TRUE(LoadListThroughCache(list, cache.folder).ok());
    EXPECT_FALSE(fs::exists(folder / "list-0123456789abcdef.snapshot.tmp-4242-0"));
    EXPECT_TRUE(fs::exists(folder / "list-0123456789abcdef.snapshot.tmp-4243-0"));
    EXPECT_TRUE(fs::exists(folder / "notes.tmp-4242-0"));
}

TEST(ReplaceFile, ALinkedFileIsReplacedWhereItLivesAndTheLinkStays) {
    testing::TempDir dir;
    fs::create_directory(dir.path() / "kept");
    const std::string target = dir.Write("kept/UserBlock.txt", "old.x\r\n");
    const fs::path link = dir.path() / "UserBlock.txt";
    fs::create_symlink("kept/UserBlock.txt", link);  // relative, as ln -s makes it
    const Status throughLink = TheEnv().ReplaceFileContents(link.string(), "new.x\r\n");
    ASSERT_TRUE(throughLink.ok()) << throughLink.message();
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(target), "new.x\r\n");
    // A link to a file not there yet leads to where the file is made.
    const fs::path dangling = dir.path() / "UserTrust.txt";
    fs::create_symlink(dir.path() / "kept" / "UserTrust.txt", dangling);
    const Status throughDangling = TheEnv().ReplaceFileContents(dangling.string(), "trusted.x\r\n");
    ASSERT_TRUE(throughDangling.ok()) << throughDangling.message();
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadAll(dir.path() / "kept" / "UserTrust.txt"), "trusted.x\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "kept"), fs::directory_iterator()), 2);
}

TEST(LogFile, ALinkAtThePathIsNotFollowedAndANewLogIsTheOwnersAlone) {
    testing::TempDir dir;
    const std::string victim = dir.Write("victim.txt", "mine\n");
    const fs::path planted = dir.path() / "planted.log";
    fs::create_symlink(victim, planted);
    TheEnv().AppendLogLine(planted.string(), "line\n");
    EXPECT_EQ(ReadAll(victim), "mine\n");
    fs::create_symlink(dir.path() / "made-through-link.log", dir.path() / "dangling.log");
    TheEnv().AppendLogLine((dir.path() / "dangling.log").string(), "line\n");
    EXPECT_FALSE(fs::exists(dir.path() / "made-through-link.log"));

    const fs::path log = dir.path() / "refusals.log";
    TheEnv().AppendLogLine(log.string(), "line\n");
    EXPECT_EQ(ReadAll(log), "line\n");
    EXPECT_EQ(fs::status(log).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

// A write cut short by a size limit (as by a full disk) leaves part of a
// line; the next line starts on a line of its own.
TEST(LogFile, ALineCutShortIsNotContinuedByTheNext) {
    testing::TempDir dir;
    const std::string log = dir.Write("refusals.log", "");
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        NameRefusalLog(log, "curl");
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        rlimit small = limit;
        small.rlim_cur = 10;
        setrlimit(RLIMIT_FSIZE, &small);
        LogRefusal("refused", "http://a.x/first", {});  // only 10 bytes land
        LogRefusal("refused", "http://a.x/lost", {});   // none do
        setrlimit(RLIMIT_FSIZE, &limit);
        LogRefusal("refused", "http://b.x/second", {});
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string text = ReadAll(log);
    ASSERT_GT(text.size(), 11u);
    EXPECT_EQ(text[10], '\n') << text;
    const auto second = ParseLogLine(text.substr(11));
    ASSERT_TRUE(second) << text;
    EXPECT_EQ(second->subject, "http://b.x/second");
}

}  // namespace
}  // namespace tamsel
