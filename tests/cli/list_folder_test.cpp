// Where the tool finds the lists and the module: the tool copied into an
// installed tree and into a build folder's layout, run with the environment
// a user would have.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/run_tool.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

namespace fs = std::filesystem;
using testing::RunToolAt;
using testing::ToolResult;

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned Mode(const fs::path& folder) {
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// PREFIX/bin/tamsel, PREFIX/lib/tamsel/libtamsel.so, PREFIX/share/tamsel/
// BlockList.txt, and a home folder without a configuration folder yet.
class InstalledTool : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"usr/bin", "usr/lib/tamsel", "usr/share/tamsel", "home/ann"})
            fs::create_directories(root() / folder);
        fs::copy_file(TAMSEL_TOOL, root() / "usr/bin/tamsel");
        fs::copy_file(TAMSEL_MODULE, Module());
        dir_.Write("usr/share/tamsel/BlockList.txt", kShipped);
    }
    const fs::path& root() const { return dir_.path(); }
    fs::path Shipped() const { return root() / "usr/share/tamsel/BlockList.txt"; }
    fs::path Module() const { return root() / "usr/lib/tamsel/libtamsel.so"; }
    fs::path Config() const { return root() / "home/ann/.config"; }
    // The tool run with HOME in the tree and `environment` (NAME=VALUE ...)
    // on top of an environment without the variables the rule reads.
    ToolResult Run(const std::string& arguments, const std::string& environment = "",
                   const std::string& tool = "usr/bin/tamsel") const {
        return RunToolAt("env -u XDG_CONFIG_HOME -u TAMSEL_LISTS HOME=" + (root() / "home/ann").string() + " " +
                             environment + " " + (root() / tool).string(),
                         arguments);
    }
    bool Refused(const std::string& url, const fs::path& byList, const std::string& environment = "") const {
        const ToolResult r = Run("check " + url, environment);
        return r.exitCode == 0 && r.out.starts_with("refused") &&
               r.out.find(byList.string() + ":") != std::string::npos;
    }

    static constexpr const char* kShipped = "shipped.example\n";
    testing::TempDir dir_;
};

TEST_F(InstalledTool, NoFolderYetMeansTheShippedListAloneAndTheFirstWriteMakesTheFolder) {
    EXPECT_TRUE(Refused("http://shipped.example/", Shipped()));
    const ToolResult shown = Run("list black");
    EXPECT_EQ(shown.exitCode, 0) << shown.out;
    EXPECT_FALSE(fs::exists(Config())) << "reading made a folder";

    const ToolResult added = Run("list black add user.example");
    ASSERT_EQ(added.exitCode, 0) << added.out;
    const fs::path userBlock = Config() / "tamsel/UserBlock.txt";
    EXPECT_TRUE(fs::is_regular_file(userBlock)) << added.out;
    EXPECT_EQ(Mode(Config()), 0700u);
    EXPECT_EQ(Mode(Config() / "tamsel"), 0700u);
    EXPECT_TRUE(Refused("http://user.example/", userBlock));
    EXPECT_TRUE(Refused("http://shipped.example/", Shipped()));
    EXPECT_EQ(Read(Shipped()), kShipped);
}

TEST_F(InstalledTool, TheUsersFolderIsInConfigHomeWhenAbsoluteElseInHome) {
    const fs::path configHome = root() / "cfg";
    ASSERT_EQ(Run("list white add trusted.example", "XDG_CONFIG_HOME=" + configHome.string()).exitCode, 0);
    EXPECT_TRUE(fs::is_regular_file(configHome / "tamsel/UserTrust.txt"));
    EXPECT_FALSE(fs::exists(Config()));
    const ToolResult trusted = Run("check http://trusted.example/", "XDG_CONFIG_HOME=" + configHome.string());
    EXPECT_TRUE(trusted.out.starts_with("trusted")) << trusted.out;

    // A relative XDG_CONFIG_HOME is not to be used.
    ASSERT_EQ(Run("list black add user.example", "XDG_CONFIG_HOME=cfg").exitCode, 0);
    EXPECT_TRUE(fs::is_regular_file(Config() / "tamsel/UserBlock.txt"));
    EXPECT_FALSE(fs::exists(root() / "usr/bin/cfg"));

    // Without either, there is no user's list to show or write, and the tool
    // says so; the shipped list still judges.
    const std::string hosts = dir_.Write("hosts", "0.0.0.0 x.example\n");
    for (const std::string& command :
         {std::string("list black add x.example"), std::string("list white"), "import " + hosts}) {
        const ToolResult nowhere = Run(command, "HOME=");
        EXPECT_EQ(nowhere.exitCode, 1) << command;
        EXPECT_NE(nowhere.out.find("neither XDG_CONFIG_HOME nor HOME"), std::string::npos) << nowhere.out;
    }
    EXPECT_TRUE(Refused("http://shipped.example/", Shipped(), "HOME="));
}

TEST_F(InstalledTool, ListsVariableAndOptionNameOneFolderForAllThreeTheOptionFirst) {
    const fs::path mine = root() / "mine", other = root() / "other";
    fs::create_directories(mine);
    fs::create_directories(other);
    dir_.Write("mine/BlockList.txt", "mine.example\n");
    dir_.Write("other/BlockList.txt", "other.example\n");
    const std::string variable = "TAMSEL_LISTS=" + mine.string();
    EXPECT_TRUE(Refused("http://mine.example/", mine / "BlockList.txt", variable));
    EXPECT_FALSE(Refused("http://shipped.example/", Shipped(), variable));
    ASSERT_EQ(Run("list black add user.example", variable).exitCode, 0);
    EXPECT_TRUE(fs::is_regular_file(mine / "UserBlock.txt"));
    EXPECT_FALSE(fs::exists(Config()));

    EXPECT_TRUE(Refused("--lists " + other.string() + " http://other.example/", other / "BlockList.txt", variable));
    EXPECT_FALSE(Refused("--lists " + other.string() + " http://user.example/", mine / "UserBlock.txt", variable));
}

TEST_F(InstalledTool, ImportWritesTheUsersBlockListAndLeavesTheShippedListAlone) {
    const std::string hosts = dir_.Write("hosts", "127.0.0.1 localhost\n0.0.0.0 imported.example\n");
    ASSERT_EQ(Run("list black add own.example").exitCode, 0);
    const ToolResult first = Run("import " + hosts);
    ASSERT_EQ(first.exitCode, 0) << first.out;
    const fs::path userBlock = Config() / "tamsel/UserBlock.txt";
    EXPECT_NE(first.out.find("written to " + userBlock.string()), std::string::npos) << first.out;
    EXPECT_EQ(Read(Shipped()), kShipped);
    EXPECT_TRUE(Refused("http://imported.example/", userBlock));
    EXPECT_TRUE(Refused("http://own.example/", userBlock));
    EXPECT_TRUE(Refused("http://shipped.example/", Shipped()));

    // Importing it again replaces its section; the user's own line stays.
    dir_.Write("hosts", "0.0.0.0 again.example\n");
    ASSERT_EQ(Run("import " + hosts).exitCode, 0);
    EXPECT_FALSE(Refused("http://imported.example/", userBlock));
    EXPECT_TRUE(Refused("http://again.example/", userBlock));
    EXPECT_TRUE(Refused("http://own.example/", userBlock));
}

TEST_F(InstalledTool, TheBuildFoldersLayoutKeepsEveryListBesideTheTool) {
    fs::create_directories(root() / "out");
    fs::copy_file(TAMSEL_TOOL, root() / "out/tamsel");
    dir_.Write("out/BlockList.txt", "beside.example\n");
    const ToolResult added = Run("list black add user.example", "", "out/tamsel");
    ASSERT_EQ(added.exitCode, 0) << added.out;
    EXPECT_TRUE(fs::is_regular_file(root() / "out/UserBlock.txt"));
    EXPECT_FALSE(fs::exists(Config()));
    const ToolResult checked = Run("check http://beside.example/", "", "out/tamsel");
    EXPECT_NE(checked.out.find((root() / "out/BlockList.txt").string() + ":1"), std::string::npos) << checked.out;
}

#if defined(TAMSEL_SANITIZED)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif

TEST_F(InstalledTool, RunPreloadsTheInstalledModuleAndFailsClearlyWithoutIt) {
    // A sanitizer build's module cannot be preloaded into sh (its runtime
    // must come first); there only the failure is checked.
    if (!kSanitizedBuild) {
        const ToolResult found = Run("run sh -c 'echo \"$LD_PRELOAD\"'", "LD_PRELOAD=");
        EXPECT_EQ(found.exitCode, 0) << found.out;
        EXPECT_EQ(found.out, Module().string() + "\n");
    }

    fs::rename(Module(), root() / "libtamsel.so");
    const ToolResult missing = Run("run true");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("cannot find the filter module libtamsel.so at " + Module().string()), std::string::npos)
        << missing.out;
}

}  // namespace
}  // namespace tamsel
