// The rule that finds the list folders, over facts the test sets.
#include "listfiles/list_folders.h"

#include <gtest/gtest.h>

#include <set>

namespace tamsel {
namespace {

// An installed tree: the tool in /usr/bin, the module in /usr/lib/tamsel, the
// shipped list in /usr/share/tamsel; `shippedIn` are the folders holding a
// BlockList.txt.
struct Facts {
    std::set<std::string> shippedIn = {"/usr/share/tamsel"};
    ListFolderFacts facts;

    Facts() {
        facts.home = "/home/ann";
        facts.moduleFolder = "/usr/bin/";
        facts.installedLists = {"../share/tamsel", "../../share/tamsel"};
        facts.holdsShippedList = [this](const std::string& folder) { return shippedIn.count(folder) > 0; };
    }
    ListFolders Resolve() const {
        const auto folders = ResolveListFolders(facts);
        EXPECT_TRUE(folders.has_value());
        return folders.value_or(ListFolders{});
    }
};

TEST(ListFolders, InstalledShippedListFromTheToolOrTheModuleAndUserListsInTheConfigFolder) {
    Facts f;
    ListFolders folders = f.Resolve();
    EXPECT_EQ(folders.shipped, "/usr/share/tamsel");
    EXPECT_EQ(folders.user, "/home/ann/.config/tamsel");
    EXPECT_FALSE(folders.Together());

    f.facts.moduleFolder = "/usr/lib/tamsel/";
    EXPECT_EQ(f.Resolve().shipped, "/usr/share/tamsel");

    // A list in neither place: the module's folder stands for it, where a
    // missing file is an empty list; the user's folder stays the user's.
    f.shippedIn.clear();
    folders = f.Resolve();
    EXPECT_EQ(folders.shipped, "/usr/lib/tamsel");
    EXPECT_EQ(folders.user, "/home/ann/.config/tamsel");
}

TEST(ListFolders, ConfigHomeWhenAbsoluteElseHomeElseNoUserFolder) {
    Facts f;
    f.facts.configHome = "/cfg/";
    EXPECT_EQ(f.Resolve().user, "/cfg/tamsel");
    f.facts.configHome = "relative/cfg";
    EXPECT_EQ(f.Resolve().user, "/home/ann/.config/tamsel");
    f.facts.configHome = "";
    EXPECT_EQ(f.Resolve().user, "/home/ann/.config/tamsel");
    f.facts.home = "home/ann";
    EXPECT_EQ(f.Resolve().user, std::nullopt);
    f.facts.home.reset();
    const ListFolders folders = f.Resolve();
    EXPECT_EQ(folders.user, std::nullopt);
    EXPECT_EQ(folders.shipped, "/usr/share/tamsel");
    EXPECT_FALSE(folders.Together());
}

TEST(ListFolders, ListsVariableAndTheBuildFolderHoldAllThree) {
    Facts f;
    f.facts.configHome = "/cfg";
    f.facts.listsVariable = "/srv/lists/";
    ListFolders folders = f.Resolve();
    EXPECT_EQ(folders.user, "/srv/lists");
    EXPECT_EQ(folders.shipped, "/srv/lists");
    EXPECT_TRUE(folders.Together());

    // Set but empty is unset.
    f.facts.listsVariable = "";
    EXPECT_EQ(f.Resolve().user, "/cfg/tamsel");

    // A list beside the module is the build folder's layout, even where an
    // installed one exists too.
    f.facts.moduleFolder = "/src/build/out/";
    f.shippedIn.insert("/src/build/out");
    folders = f.Resolve();
    EXPECT_EQ(folders.shipped, "/src/build/out");
    EXPECT_TRUE(folders.Together());
}

TEST(ListFolders, NoModuleFolderIsNoAnswerUnlessTheVariableNamesOne) {
    Facts f;
    f.facts.moduleFolder.reset();
    EXPECT_EQ(ResolveListFolders(f.facts), std::nullopt);
    f.facts.listsVariable = "/srv/lists";
    EXPECT_EQ(f.Resolve().shipped, "/srv/lists");
}

TEST(ListFolders, FilesOfPutsTheShippedListApartFromTheUsersLists) {
    const ListFolders folders{"/home/ann/.config/tamsel", "/usr/share/tamsel"};
    const ListFilePath where = FilesOf(folders);
    EXPECT_EQ(where("BlockList.txt"), "/usr/share/tamsel/BlockList.txt");
    EXPECT_EQ(where("UserBlock.txt"), "/home/ann/.config/tamsel/UserBlock.txt");
    EXPECT_EQ(where("UserTrust.txt"), "/home/ann/.config/tamsel/UserTrust.txt");
    const ListFilePath noUser = FilesOf(ListFolders{std::nullopt, "/usr/share/tamsel"});
    EXPECT_EQ(noUser("UserTrust.txt"), std::nullopt);
    EXPECT_EQ(noUser("BlockList.txt"), "/usr/share/tamsel/BlockList.txt");
}

}  // namespace
}  // namespace tamsel
