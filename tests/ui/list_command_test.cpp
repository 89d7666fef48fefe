// tamsel list, run as a program: the same files, byte for byte, as the
// editors' model gives for the same actions.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/run_tool.h"
#include "listfiles/list_cache.h"
#include "listfiles/list_folders.h"
#include "listfiles/list_store.h"
#include "runtime/shared_state.h"
#include "support/cache_home.h"
#include "support/temp_dir.h"
#include "ui/pattern_text_list.h"

namespace tamsel {
namespace {

using testing::RunTool;

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ListTool : public ::testing::Test {
protected:
    std::string List(const std::string& rest) const {
        return "list " + rest + " --lists " + dir_.path().string() + " </dev/null";
    }
    std::string Block() const { return ReadBytes(dir_.path() / "UserBlock.txt"); }

    testing::TempDir dir_;
};

// The editor's steps on the model: load, change, close.
void EditLikeTheDialog(const ListStore& store, void (*change)(PatternTextList&)) {
    PatternTextList list(ListKind::UserBlock);
    list.LoadIfEmpty(store);
    change(list);
    ASSERT_TRUE(list.Close(store).written);
}

TEST_F(ListTool, ShowsTheLastEntryFirstNumberedFromTheTop) {
    dir_.Write("UserBlock.txt", "/image/banners\n/ads /sponsors\n");
    const auto r = RunTool(List("black"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "My Black List (" + (dir_.path() / "UserBlock.txt").string() +
                         "), last entry first:\n   1  /ads /sponsors\n   2  /image/banners\n");
    EXPECT_EQ(Block(), "/image/banners\n/ads /sponsors\n");  // showing writes nothing
}

TEST_F(ListTool, ControlBytesAreShownEscaped) {
    dir_.Write("UserBlock.txt", "/ads\x1b[2J\n/x\x9b\xc2\x9b\n");
    const auto r = RunTool(List("black"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("   1  /x\x9b\\xc2\\x9b\n   2  /ads\\x1b[2J\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

TEST_F(ListTool, AddEditDeleteWriteWhatTheEditorModelWrites) {
    testing::TempDir model;
    SharedState unpublished;
    const ListStore where(unpublished, FilesOf(OneFolder(model.path().string())));
    dir_.Write("UserBlock.txt", "P\nQ\nR\n");
    model.Write("UserBlock.txt", "P\nQ\nR\n");

    ASSERT_EQ(RunTool(List("black add X")).exitCode, 0);
    EditLikeTheDialog(where, [](PatternTextList& list) { list.Add("X"); });
    EXPECT_EQ(Block(), "P\r\nQ\r\nR\r\nX\r\n");  // shown X R Q P
    EXPECT_EQ(Block(), ReadBytes(model.path() / "UserBlock.txt"));

    ASSERT_EQ(RunTool(List("black edit 2 Z")).exitCode, 0);  // R becomes Z, on top
    EditLikeTheDialog(where, [](PatternTextList& list) { list.Edit(1, "Z"); });
    EXPECT_EQ(Block(), "P\r\nQ\r\nX\r\nZ\r\n");
    EXPECT_EQ(Block(), ReadBytes(model.path() / "UserBlock.txt"));

    ASSERT_EQ(RunTool(List("black delete 4 --yes")).exitCode, 0);  // shown Z X Q P
    EditLikeTheDialog(where, [](PatternTextList& list) { list.Delete(3); });
    EXPECT_EQ(Block(), "Q\r\nX\r\nZ\r\n");
    EXPECT_EQ(Block(), ReadBytes(model.path() / "UserBlock.txt"));
}

// A comment, an exception after its rule and a pattern with a blank inside:
// adding one entry changes no verdict but the ones the new entry decides.
TEST_F(ListTool, AnAddChangesOnlyTheVerdictsOfTheAddedEntry) {
    dir_.Write("UserBlock.txt", "# my notes\nads.x\n~ads.x/keep/\n/ads /sponsors\n");
    const std::string urls = "http://my/ http://notes/ http://ads.x/keep/1 http://ads.x/a http://z.z/ads/sponsors "
                             "http://z.z/ads http://foo.y/";
    const auto before = RunTool("check --lists " + dir_.path().string() + " " + urls);
    ASSERT_EQ(before.exitCode, 0) << before.out;
    ASSERT_EQ(RunTool(List("black add foo.y")).exitCode, 0);
    const auto after = RunTool("check --lists " + dir_.path().string() + " " + urls);
    ASSERT_EQ(after.exitCode, 0) << after.out;
    const std::string foo =
        "refused at lookup http://foo.y/  " + (dir_.path() / "UserBlock.txt").string() + ":5 foo.y\n";
    ASSERT_EQ(before.out.find("passed  http://foo.y/\n"), before.out.size() - 22) << before.out;
    EXPECT_EQ(after.out, before.out.substr(0, before.out.size() - 22) + foo);
    EXPECT_NE(before.out.find("passed  http://my/\n"), std::string::npos) << before.out;
    EXPECT_NE(before.out.find("passed  http://ads.x/keep/1"), std::string::npos) << before.out;
    EXPECT_NE(before.out.find("refused http://z.z/ads/sponsors"), std::string::npos) << before.out;
    EXPECT_EQ(Block(), "# my notes\r\nads.x\r\n~ads.x/keep/\r\n/ads /sponsors\r\nfoo.y\r\n");
}

TEST_F(ListTool, DeletingTheOnlyEntryLeavesOneEmptyLine) {
    dir_.Write("UserTrust.txt", "good.x\n");
    const auto r = RunTool(List("white delete 1 --yes"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(ReadBytes(dir_.path() / "UserTrust.txt"), "\r\n");
}

TEST_F(ListTool, TypedTextIsCutAndAnEmptyTextChangesNothing) {
    dir_.Write("UserBlock.txt", "a\n");
    ASSERT_EQ(RunTool(List("black add " + std::string(300, 'x'))).exitCode, 0);
    EXPECT_EQ(Block(), "a\r\n" + std::string(259, 'x') + "\r\n");
    ASSERT_EQ(RunTool(List("black edit 1 ''")).exitCode, 0);
    EXPECT_EQ(Block(), "a\r\n" + std::string(259, 'x') + "\r\n");
    dir_.Write("UserBlock.txt", "b c\n\n# d\n");  // each close rewrites the file, line for line
    ASSERT_EQ(RunTool(List("black add ''")).exitCode, 0);
    EXPECT_EQ(Block(), "b c\r\n# d\r\n");
}

TEST_F(ListTool, RefusesWithoutChangingTheFile) {
    dir_.Write("UserBlock.txt", "P\nQ\n");
    const auto noTerminal = RunTool(List("black delete 1"));
    EXPECT_EQ(noTerminal.exitCode, 2);
    EXPECT_NE(noTerminal.out.find("--yes"), std::string::npos) << noTerminal.out;
    for (const char* wrong :
         {"black delete 3 --yes", "black edit 0 Z", "black edit x Z", "black add", "grey", "black drop 1",
          "black add \"$(printf 'a\\nb')\"", "black edit 1 \"$(printf 'c\\rd')\""}) {
        EXPECT_EQ(RunTool(List(wrong)).exitCode, 2) << wrong;
    }
    EXPECT_EQ(Block(), "P\nQ\n");
}

// A line the loader refuses would fail the whole list: it is never written,
// and the loader's reason is given. The list goes on loading and refusing.
TEST_F(ListTool, AnEntryTheLoaderWouldRefuseIsNotWritten) {
    dir_.Write("UserBlock.txt", "mine.x\n");
    for (const char* broken :
         {"black add '/(a'", "black add 'ads.x/[0-9'", "black edit 1 'mine.x/(a'", "black add '~/x(' "}) {
        const auto r = RunTool(List(broken));
        EXPECT_EQ(r.exitCode, 1) << broken;
        EXPECT_NE(r.out.find("is not closed"), std::string::npos) << r.out;
        EXPECT_EQ(Block(), "mine.x\n") << broken;
    }
    // What the loader takes is written, broken-looking or not.
    ASSERT_EQ(RunTool(List("black add '/a)b # (c'")).exitCode, 0);
    const ListLoadResult loaded = LoadPatternListChecked((dir_.path() / "UserBlock.txt").string());
    ASSERT_TRUE(loaded.ok()) << loaded.message();
    EXPECT_EQ(loaded.value()->entries.size(), 2u);
}

// Every write leaves the snapshot of the new file, which the next program
// takes up without parsing; the snapshot of the file before goes.
TEST_F(ListTool, EachWriteLeavesTheSnapshotOfTheNewFile) {
    const testing::ScopedCacheHome cacheHome;
    const std::string path = (dir_.path() / "UserBlock.txt").string();
    for (const char* action :
         {"black add ads.x", "black add /*.*/banner", "black edit 1 /*.*/banners", "black delete 2 --yes"}) {
        const auto r = RunTool(List(action));
        ASSERT_EQ(r.exitCode, 0) << r.out;
        const ListLoadResult loaded = LoadListThroughCache(path, cacheHome.folder());
        ASSERT_TRUE(loaded.ok()) << action;
        EXPECT_TRUE(loaded.value()->storage) << action;
        EXPECT_EQ(cacheHome.Snapshots(), 1) << action;
    }
    const ListLoadResult last = LoadListThroughCache(path, cacheHome.folder());
    ASSERT_EQ(last.value()->entries.size(), 1u);
    EXPECT_EQ(last.value()->Text(last.value()->entries[0]), "/*.*/banners");
}

// `script` gives the tool a terminal, through which the answer is typed.
TEST_F(ListTool, DeleteOnATerminalAsksFirst) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) to give a terminal";
    dir_.Write("UserBlock.txt", "a\nb\n");
    const auto onTerminal = [this](const char* answer) {
        const std::string command = std::string("printf '") + answer + "\\n' | script -qec \"" TAMSEL_TOOL " " +
                                    "list black delete 2 --lists " + dir_.path().string() + "\" /dev/null";
        return std::system((command + " >/dev/null 2>&1").c_str());
    };
    EXPECT_EQ(onTerminal("n"), 0);
    EXPECT_EQ(Block(), "a\r\nb\r\n");  // shown b, a: entry 2 is "a", kept
    EXPECT_EQ(onTerminal("y"), 0);
    EXPECT_EQ(Block(), "b\r\n");
}

// Root writes into any folder, so as root the tool runs as "nobody".
TEST_F(ListTool, AReadOnlyFolderKeepsTheOldFileAndFails) {
    dir_.Write("UserBlock.txt", "old.x\n");
    chmod(dir_.path().c_str(), 0555);
    const std::string as = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string command = as + TAMSEL_TOOL " " + List("black add new.x") + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char chunk[512];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    const int status = pclose(pipe);
    chmod(dir_.path().c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << out;
    EXPECT_NE(out.find("cannot write"), std::string::npos) << out;
    EXPECT_NE(out.find("the old file is unchanged"), std::string::npos) << out;
    EXPECT_EQ(Block(), "old.x\n");
}

}  // namespace
}  // namespace tamsel
