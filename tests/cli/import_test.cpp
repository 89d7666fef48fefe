// tamsel import, run as a program against list folders on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/run_tool.h"
#include "listfiles/list_cache.h"
#include "patterns/matcher.h"
#include "support/cache_home.h"
#include "support/temp_dir.h"
#include "support/list_set.h"

namespace tamsel {
namespace {

using testing::RunTool;

constexpr const char* kOwnLines = "# our own list\nours.example\n~ours.example/ok/\n";

class ImportTool : public ::testing::Test {
protected:
    void SetUp() override { dir_.Write("BlockList.txt", kOwnLines); }
    std::string Lists() const { return "--lists " + dir_.path().string() + " "; }
    std::string Read(const std::string& name) const {
        std::ifstream in(dir_.path() / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The file as lines ended by LF alone, whichever line ends it was written with.
    std::string Lines(const std::string& name) const {
        std::string text = Read(name);
        std::erase(text, '\r');
        return text;
    }
    std::string Check(const std::string& urls) const { return RunTool("check " + Lists() + urls).out; }
    bool Refused(const std::string& url) const { return Check(url).starts_with("refused"); }

    testing::TempDir dir_;
};

TEST_F(ImportTool, WritesEachSourceAfterOurLinesAndJudgesThroughIt) {
    const std::string adblock = dir_.Write("ads.txt", "[Adblock Plus 2.0]\n! c\n||ads.example^$third-party\n"
                                                      "##.banner\n@@||ads.example/help/\n");
    const std::string hosts = dir_.Write("hosts", "127.0.0.1 localhost\n0.0.0.0 t.example\n");
    const auto r = RunTool("import " + Lists() + adblock + " " + hosts);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find(adblock + " (adblock-style list): 2 lines written (1 block, 1 exception, 0 important), "
                                   "1 skipped\n  skipped: cosmetic rule 1\n  options dropped: third-party 1\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(hosts + " (hosts file): 1 lines written"), std::string::npos) << r.out;
    EXPECT_TRUE(Lines("BlockList.txt").starts_with(kOwnLines));
    EXPECT_TRUE(Refused("http://x.ads.example/a"));
    EXPECT_FALSE(Refused("http://ads.example/help/1"));
    EXPECT_TRUE(Refused("http://t.example/"));
    EXPECT_TRUE(Refused("http://ours.example/"));
    EXPECT_FALSE(Refused("http://ours.example/ok/"));
}

// The line that decides `url`, 0 for none.
int DecidingLine(const PatternList& list, const char* url) {
    RequestUrl request;
    ParseRequestUrl(url, nullptr, &request);
    const PatternEntry* entry = testing::DecidingEntry(&list, request);
    return entry == nullptr ? 0 : list.LineNumber(*entry);
}

// The next program after an import takes the new list up from the snapshot
// the tool left, and it decides as the parsed file does.
TEST_F(ImportTool, LeavesTheSnapshotOfTheNewListForTheNextProgram) {
    const testing::ScopedCacheHome cacheHome;
    const std::string hosts = dir_.Write("hosts", "0.0.0.0 t.example\n");
    const std::string list = (dir_.path() / "BlockList.txt").string();
    for (int round = 0; round < 2; ++round) {  // a second import replaces the snapshot
        const auto r = RunTool("import " + Lists() + hosts);
        ASSERT_EQ(r.exitCode, 0) << r.out;
        const ListLoadResult taken = LoadListThroughCache(list, cacheHome.folder());
        ASSERT_TRUE(taken.ok());
        EXPECT_TRUE(taken.value()->storage);
        const ListLoadResult parsed = LoadPatternListChecked(list);
        ASSERT_TRUE(parsed.ok());
        for (const char* url :
             {"http://t.example/", "http://ours.example/", "http://ours.example/ok/1", "http://o.x/"}) {
            EXPECT_EQ(DecidingLine(*taken.value(), url), DecidingLine(*parsed.value(), url)) << url;
        }
        EXPECT_GT(DecidingLine(*taken.value(), "http://t.example/"), 0);
        EXPECT_EQ(cacheHome.Snapshots(), 1);
    }
}

// A block list kept elsewhere and linked into the folder is updated where it
// lives; the link stays a link.
TEST_F(ImportTool, ALinkedListIsUpdatedWhereItLives) {
    std::filesystem::create_directory(dir_.path() / "kept");
    dir_.Write("kept/BlockList.txt", kOwnLines);
    std::filesystem::remove(dir_.path() / "BlockList.txt");
    std::filesystem::create_symlink("kept/BlockList.txt", dir_.path() / "BlockList.txt");
    const std::string source = dir_.Write("list.txt", "||linked.example^\n");
    const auto r = RunTool("import " + Lists() + source);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.path() / "BlockList.txt"));
    EXPECT_NE(Lines("kept/BlockList.txt").find("linked.example\n"), std::string::npos) << Read("kept/BlockList.txt");
    EXPECT_TRUE(Refused("http://linked.example/"));
}

TEST_F(ImportTool, ImportingASourceAgainReplacesItsSection) {
    const std::string first = dir_.Write("list.txt", "||old.example^\n");
    ASSERT_EQ(RunTool("import " + Lists() + first).exitCode, 0);
    const std::string other = dir_.Write("other.txt", "||other.example^\n");
    ASSERT_EQ(RunTool("import " + Lists() + other).exitCode, 0);
    dir_.Write("list.txt", "||new.example^\n");
    ASSERT_EQ(RunTool("import " + Lists() + first).exitCode, 0);
    EXPECT_FALSE(Refused("http://old.example/"));
    EXPECT_TRUE(Refused("http://new.example/"));
    EXPECT_TRUE(Refused("http://other.example/"));
    const std::string list = Lines("BlockList.txt");
    EXPECT_TRUE(list.starts_with(kOwnLines));
    const std::string begin = "# >>> tamsel import: list.txt\n";
    EXPECT_EQ(list.find(begin), list.rfind(begin)) << "one section per source:\n" << list;
    EXPECT_LT(list.find("new.example"), list.find("other.example")) << "replaced in place";
}

TEST_F(ImportTool, ReadsStandardInputAndAMissingListFile) {
    std::filesystem::remove(dir_.path() / "BlockList.txt");
    const auto r = RunTool("import " + Lists() + "-", "ads.example\\nt.example\\n");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("standard input (domain list): 2 lines written"), std::string::npos) << r.out;
    EXPECT_TRUE(Refused("http://a.t.example/"));
    EXPECT_EQ(RunTool("import " + Lists() + "-", "x.example\\n").exitCode, 0);
    EXPECT_FALSE(Refused("http://t.example/"));
    EXPECT_TRUE(Refused("http://x.example/"));
}

TEST_F(ImportTool, ReportListsEverySkippedRule) {
    const std::string source = dir_.Write("r.txt", "||a.example^\n##.ad\n||p.example^$popup\n");
    const std::string report = (dir_.path() / "report.txt").string();
    ASSERT_EQ(RunTool("import " + Lists() + "--report " + report + " " + source).exitCode, 0);
    EXPECT_EQ(Read("report.txt"),
              source + ":2: cosmetic rule: ##.ad\n" + source + ":3: option popup: ||p.example^$popup\n");
}

TEST_F(ImportTool, BadInputWritesNothing) {
    const std::string good = dir_.Write("good.txt", "||good.example^\n");
    const std::string report = (dir_.path() / "report.txt").string();
    const struct {
        std::string source, message;
    } cases[] = {
        {dir_.Write("bin.dat", std::string("\x7f"
                                           "ELF\x02\x01\x01\0\0\0",
                                           10)),
         "bin.dat: binary data on line 1"},
        {dir_.Write("long.txt", "||a.example^\n" + std::string(100 * 1024, 'a') + "\n"),
         "long.txt: line 2 is 102400 bytes long"},
        {(dir_.path() / "missing.txt").string(), "missing.txt: No such file or directory"},
        {dir_.path().string(), "Is a directory"},
    };
    for (const auto& c : cases) {
        const auto r = RunTool("import " + Lists() + "--report " + report + " " + good + " " + c.source);
        EXPECT_EQ(r.exitCode, 1) << c.source;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("nothing written"), std::string::npos) << r.out;
        EXPECT_EQ(Read("BlockList.txt"), kOwnLines);
        EXPECT_FALSE(std::filesystem::exists(report));
    }
    // A report that cannot be written stops the import before the list is touched.
    const auto unwritable =
        RunTool("import " + Lists() + "--report " + (dir_.path() / "no/such/r.txt").string() + " " + good);
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_NE(unwritable.out.find("cannot write"), std::string::npos) << unwritable.out;
    EXPECT_EQ(Read("BlockList.txt"), kOwnLines);
    // Markers that do not pair up are left for a person to mend.
    dir_.Write("BlockList.txt", "ours.example\n# >>> tamsel import: good.txt\nx.example\n");
    const auto r = RunTool("import " + Lists() + good);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("section \"good.txt\" has no end marker"), std::string::npos) << r.out;
    EXPECT_EQ(Read("BlockList.txt"), "ours.example\n# >>> tamsel import: good.txt\nx.example\n");
}

TEST_F(ImportTool, UsageErrors) {
    EXPECT_EQ(RunTool("import " + Lists()).exitCode, 2);
    EXPECT_EQ(RunTool("import " + Lists() + "--report").exitCode, 2);
    EXPECT_EQ(RunTool("import " + Lists() + "--frob x").exitCode, 2);
    const auto twice = RunTool("import " + Lists() + "a/list.txt b/list.txt");
    EXPECT_EQ(twice.exitCode, 2);
    EXPECT_NE(twice.out.find("two sources are named list.txt"), std::string::npos) << twice.out;
    const auto help = RunTool("import --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: tamsel import"), std::string::npos);
}

}  // namespace
}  // namespace tamsel
