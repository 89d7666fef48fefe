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
#include "support/temp_dir.h"
#include "ui/pattern_text_list.h"

namespace tamsel {
namespace {

using testing::RunTool;
using Items = std::vector<std::string>;

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

// The editor's steps on the model: load, change the shown items, rebuild, close.
void EditLikeTheDialog(const ListFilePath& where, void (*change)(Items&)) {
    PatternTextList list(kUserBlockListFile, ListKind::UserBlock);
    list.LoadIfEmpty(where);
    Items shown = ShownOrder(list.Texts());
    change(shown);
    list.Rebuild(shown);
    ASSERT_TRUE(list.Close(where).written);
}

TEST_F(ListTool, ShowsTheLastEntryFirstNumberedFromTheTop) {
    dir_.Write("UserBlock.txt", "/image/banners\n/ads /sponsors\n");
    const auto r = RunTool(List("black"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "My Black List (" + (dir_.path() / "UserBlock.txt").string() +
                         "), last entry first:\n   1  /sponsors\n   2  /ads\n   3  /image/banners\n");
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
    const ListFilePath where = [&model](std::string_view name) { return (model.path() / std::string(name)).string(); };
    dir_.Write("UserBlock.txt", "P\nQ\nR\n");
    model.Write("UserBlock.txt", "P\nQ\nR\n");

    ASSERT_EQ(RunTool(List("black add X")).exitCode, 0);
    EditLikeTheDialog(where, [](Items& shown) { shown.insert(shown.begin(), "X"); });
    EXPECT_EQ(Block(), "X\r\nR\r\nQ\r\nP\r\n");
    EXPECT_EQ(Block(), ReadBytes(model.path() / "UserBlock.txt"));

    ASSERT_EQ(RunTool(List("black edit 2 Z")).exitCode, 0);  // shown P Q R X: Q becomes Z, on top
    EditLikeTheDialog(where, [](Items& shown) {
        shown.erase(shown.begin() + 1);
        shown.insert(shown.begin(), "Z");
    });
    EXPECT_EQ(Block(), "Z\r\nP\r\nR\r\nX\r\n");
    EXPECT_EQ(Block(), ReadBytes(model.path() / "UserBlock.txt"));

    ASSERT_EQ(RunTool(List("black delete 4 --yes")).exitCode, 0);  // shown X R P Z
    EditLikeTheDialog(where, [](Items& shown) { shown.erase(shown.begin() + 3); });
    EXPECT_EQ(Block(), "X\r\nR\r\nP\r\n");
    EXPECT_EQ(Block(), ReadBytes(model.path() / "UserBlock.txt"));
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
    EXPECT_EQ(Block(), std::string(259, 'x') + "\r\na\r\n");
    ASSERT_EQ(RunTool(List("black edit 1 ''")).exitCode, 0);
    EXPECT_EQ(Block(), std::string(259, 'x') + "\r\na\r\n");
    dir_.Write("UserBlock.txt", "b c\n");  // each close rewrites the file in the stored order
    ASSERT_EQ(RunTool(List("black add ''")).exitCode, 0);
    EXPECT_EQ(Block(), "b\r\nc\r\n");
}

TEST_F(ListTool, RefusesWithoutChangingTheFile) {
    dir_.Write("UserBlock.txt", "P\nQ\n");
    const auto noTerminal = RunTool(List("black delete 1"));
    EXPECT_EQ(noTerminal.exitCode, 2);
    EXPECT_NE(noTerminal.out.find("--yes"), std::string::npos) << noTerminal.out;
    for (const char* wrong : {"black delete 3 --yes", "black edit 0 Z", "black edit x Z", "black add", "grey",
                              "black drop 1", "black add \"$(printf 'a\\nb')\"", "black edit 1 \"$(printf 'c\\rd')\""}) {
        EXPECT_EQ(RunTool(List(wrong)).exitCode, 2) << wrong;
    }
    EXPECT_EQ(Block(), "P\nQ\n");
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
