#include "listfiles/list_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "listfiles/list_folders.h"
#include "patterns/file_bytes.h"
#include "runtime/shared_state.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

using Lines = std::vector<std::string>;

std::string FirstText(const SharedState& state, ListKind kind) {
    const SharedState::Reader reader(state);
    const ListSet& lists = reader.lists();
    const PatternList* list = kind == ListKind::UserBlock   ? lists.userBlock
                              : kind == ListKind::UserTrust ? lists.trust
                                                            : lists.shippedBlock;
    return list && !list->entries.empty() ? std::string(list->Text(list->entries[0])) : "(none)";
}

TEST(ListFiles, EachKindHasItsOwnFileAndTitle) {
    std::set<std::string> names;
    for (const ListFileInfo& file : kListFiles) {
        EXPECT_EQ(ListFileOf(file.kind).fileName, file.fileName);
        names.insert(file.fileName);
    }
    EXPECT_EQ(names.size(), 3u);
    EXPECT_STREQ(ListFileOf(ListKind::UserBlock).fileName, "UserBlock.txt");
    EXPECT_STREQ(ListFileOf(ListKind::UserTrust).title, "My White List");
}

// An entry is a line as the loader reads it: comments, exception marks,
// blanks inside a pattern and over-long lines all stay as written.
TEST(ListLines, EveryLineIsOneEntryAsWritten) {
    const std::string longLine(600, 'a');
    EXPECT_EQ(SplitListLines("# my notes\nads.x # here\r\n~ads.x/keep/\n/ads /sponsors\n" + longLine + "\nlast"),
              (Lines{"# my notes", "ads.x # here", "~ads.x/keep/", "/ads /sponsors", longLine, "last"}));
    EXPECT_EQ(SplitListLines("\n \t\r\n\v\f\na\n\n"), Lines{"a"});  // blank lines are dropped
    // A lone CR ends a line too, as the loader reads it.
    EXPECT_EQ(SplitListLines("a.x\rb.x\r\r~c.x/p\r\nd.x"), (Lines{"a.x", "b.x", "~c.x/p", "d.x"}));
    EXPECT_TRUE(SplitListLines("").empty());
    EXPECT_EQ(ListFileBytes({"a b", "#c"}), "a b\r\n#c\r\n");
    EXPECT_EQ(ListFileBytes({}), "\r\n");
    EXPECT_TRUE(SplitListLines(ListFileBytes({})).empty());
}

TEST(ListStore, WritesThroughAReplacementAndReadsBack) {
    testing::TempDir dir;
    SharedState state;
    const ListStore store(state, FilesOf(OneFolder(dir.path().string())));
    const Result<std::vector<std::string>> missing = store.ReadEntries(ListKind::UserTrust);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.message(), ReadErrorText(ENOENT));
    const ListWriteResult written = store.WriteEntries(ListKind::UserTrust, {"good.x", "# why"});
    ASSERT_TRUE(written.written) << written.error;
    EXPECT_EQ(written.path, (dir.path() / "UserTrust.txt").string());
    const Result<std::vector<std::string>> read = store.ReadEntries(ListKind::UserTrust);
    ASSERT_TRUE(read) << read.message();
    EXPECT_EQ(*read, (Lines{"good.x", "# why"}));

    const ListStore nowhere(state, [](std::string_view) { return std::nullopt; });
    const ListWriteResult failed = nowhere.WriteEntries(ListKind::UserTrust, {"x"});
    EXPECT_FALSE(failed.written);
    EXPECT_FALSE(failed.error.empty());
    EXPECT_FALSE(nowhere.Load(ListKind::UserTrust).ok());
    EXPECT_EQ(nowhere.ReadEntries(ListKind::UserTrust).message(), "the folder of the list files cannot be found");
}

TEST(ListStore, RenewIfPresentLeavesANullListNull) {
    testing::TempDir dir;
    dir.Write("UserBlock.txt", "one.x\n");
    SharedState state;
    const ListStore store(state, FilesOf(OneFolder(dir.path().string())));
    store.RenewIfPresent(ListKind::UserBlock);
    EXPECT_FALSE(state.Present(ListKind::UserBlock));
    store.Publish(ListKind::UserBlock);
    EXPECT_EQ(FirstText(state, ListKind::UserBlock), "one.x");
    dir.Write("UserBlock.txt", "two.x\n");
    store.RenewIfPresent(ListKind::UserBlock);
    EXPECT_EQ(FirstText(state, ListKind::UserBlock), "two.x");
}

// One bad line fails the whole file; the list in use must stay in force,
// whichever reload meets the file, and the failure is handed back.
TEST(ListStore, AFileThatFailsToLoadKeepsTheListInUse) {
    testing::TempDir dir;
    dir.Write("UserBlock.txt", "one.x\n");
    SharedState state;
    const ListStore store(state, FilesOf(OneFolder(dir.path().string())));
    EXPECT_FALSE(store.Publish(ListKind::UserBlock));
    dir.Write("UserBlock.txt", "two.x\nbad/(a\n");
    for (const auto& reload : {&ListStore::Publish, &ListStore::RenewIfPresent}) {
        const std::optional<Failure> failure = (store.*reload)(ListKind::UserBlock);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->lineNumber, 2);
        EXPECT_NE(failure->message.find("/(a"), std::string::npos) << failure->message;
        EXPECT_EQ(FirstText(state, ListKind::UserBlock), "one.x");
    }
    std::filesystem::remove(dir.path() / "UserBlock.txt");
    EXPECT_TRUE(store.Publish(ListKind::UserBlock));
    EXPECT_EQ(FirstText(state, ListKind::UserBlock), "one.x");
    dir.Write("UserBlock.txt", "three.x\n");
    EXPECT_FALSE(store.RenewIfPresent(ListKind::UserBlock));
    EXPECT_EQ(FirstText(state, ListKind::UserBlock), "three.x");
}

// Without a path nothing is loaded and nothing in place is dropped.
TEST(ListStore, RenewingWithoutAPathKeepsTheListInPlace) {
    SharedState state;
    state.Replace(ListKind::ShippedBlock, ParsePatternListText("shipped.x\n", "BlockList.txt").value());
    const ListStore nowhere(state, [](std::string_view) { return std::nullopt; });
    nowhere.RenewIfPresent(ListKind::ShippedBlock);
    EXPECT_EQ(FirstText(state, ListKind::ShippedBlock), "shipped.x");
}

}  // namespace
}  // namespace tamsel
