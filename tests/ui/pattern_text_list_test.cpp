#include "ui/pattern_text_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "intercept/inspect.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

using Texts = std::vector<std::string>;

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PatternTexts : public ::testing::Test {
protected:
    void TearDown() override { TheSharedState().ClearLists(); }

    ListFilePath Where() const {
        return [this](std::string_view name) { return (dir_.path() / std::string(name)).string(); };
    }
    std::string Bytes(const char* name) const { return ReadBytes(dir_.path() / name); }
    bool Refused(const std::string& host) const {
        const std::string head = "GET /x HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
        return InspectRequest(head.data(), static_cast<int32_t>(head.size()));
    }
    // What an editor does for Add: the new text on top, then the rebuild.
    static void AddOnTop(PatternTextList& list, const std::string& text) {
        Texts shown = ShownOrder(list.Texts());
        shown.insert(shown.begin(), text);
        list.Rebuild(shown);
    }

    testing::TempDir dir_;
    PatternTextList black_{kUserBlockListFile, ListKind::UserBlock};
};

TEST_F(PatternTexts, WordsOfEveryLineBecomeEntriesShownLastFirst) {
    dir_.Write("UserBlock.txt", "/image/banners\n/ads /sponsors\n\n# my patterns\r\n\t\v\f");
    black_.LoadIfEmpty(Where());
    EXPECT_EQ(black_.Texts(), (Texts{"/image/banners", "/ads", "/sponsors", "#", "my", "patterns"}));
    EXPECT_EQ(ShownOrder(black_.Texts()), (Texts{"patterns", "my", "#", "/sponsors", "/ads", "/image/banners"}));
    black_.Close(Where());
    EXPECT_EQ(Bytes("UserBlock.txt"), "/image/banners\r\n/ads\r\n/sponsors\r\n#\r\nmy\r\npatterns\r\n");
}

TEST_F(PatternTexts, AddEditDeleteStoreTheShownOrder) {
    dir_.Write("UserBlock.txt", "P\nQ\nR\n");
    black_.LoadIfEmpty(Where());
    AddOnTop(black_, "X");
    EXPECT_EQ(black_.Texts(), (Texts{"X", "R", "Q", "P"}));

    Texts shown = ShownOrder(black_.Texts());  // P, Q, R, X: the stored order flipped once more
    shown.erase(shown.begin() + 1);            // edit Q into Z: it moves to the top
    shown.insert(shown.begin(), "Z");
    black_.Rebuild(shown);
    EXPECT_EQ(black_.Texts(), (Texts{"Z", "P", "R", "X"}));

    AddOnTop(black_, "Z");  // a duplicate stays
    const ListWriteResult result = black_.Close(Where());
    EXPECT_TRUE(result.written) << result.error;
    EXPECT_EQ(result.path, (dir_.path() / "UserBlock.txt").string());
    EXPECT_EQ(Bytes("UserBlock.txt"), "Z\r\nX\r\nR\r\nP\r\nZ\r\n");
}

TEST_F(PatternTexts, AnEmptyListIsWrittenAsOneEmptyLine) {
    dir_.Write("UserBlock.txt", "only\n");
    black_.LoadIfEmpty(Where());
    black_.Rebuild({});
    EXPECT_TRUE(black_.Close(Where()).written);
    EXPECT_EQ(Bytes("UserBlock.txt"), "\r\n");
    EXPECT_EQ(PatternTextFileBytes({}), "\r\n");
}

TEST_F(PatternTexts, LongWordsAndLongListsLoadWhole) {
    const std::string longWord(5000, 'w');
    std::string file = "a" + longWord + "\n";
    for (int i = 0; i < 2000; ++i) file += "e" + std::to_string(i) + "\n";
    dir_.Write("UserBlock.txt", file);
    black_.LoadIfEmpty(Where());
    const Texts texts = black_.Texts();
    ASSERT_EQ(texts.size(), 2001u);
    EXPECT_EQ(texts[0], "a" + longWord);
    EXPECT_EQ(texts[2000], "e1999");
    black_.Close(Where());
    EXPECT_EQ(Bytes("UserBlock.txt"), PatternTextFileBytes(texts));
}

TEST_F(PatternTexts, AMissingFileLeavesTheListEmptyAndTheNextLoadTriesAgain) {
    black_.LoadIfEmpty(Where());
    EXPECT_TRUE(black_.Texts().empty());
    dir_.Write("UserBlock.txt", "later\n");
    black_.LoadIfEmpty(Where());
    EXPECT_EQ(black_.Texts(), Texts{"later"});
}

TEST_F(PatternTexts, ALoadRenewsOnlyAPresentPatternList) {
    dir_.Write("UserBlock.txt", "first.x\n");
    black_.LoadIfEmpty(Where());
    EXPECT_FALSE(TheSharedState().Present(ListKind::UserBlock));  // null stays null

    PatternTextList again(kUserBlockListFile, ListKind::UserBlock);
    dir_.Write("empty.txt", "");
    TheSharedState().Reload(ListKind::UserBlock, (dir_.path() / "empty.txt").string());
    EXPECT_FALSE(Refused("first.x"));
    again.LoadIfEmpty(Where());
    EXPECT_TRUE(Refused("first.x"));

    // Texts that hold entries are not read again and the list is not renewed.
    dir_.Write("UserBlock.txt", "second.x\n");
    again.LoadIfEmpty(Where());
    EXPECT_EQ(again.Texts(), Texts{"first.x"});
    EXPECT_FALSE(Refused("second.x"));
}

TEST_F(PatternTexts, CloseReplacesThePatternListAtOnce) {
    dir_.Write("UserBlock.txt", "old.x\n");
    TheSharedState().Reload(ListKind::UserBlock, (dir_.path() / "UserBlock.txt").string());
    black_.LoadIfEmpty(Where());
    EXPECT_TRUE(Refused("old.x"));
    black_.Rebuild({"new.x"});
    ASSERT_TRUE(black_.Close(Where()).written);
    EXPECT_TRUE(Refused("new.x"));
    EXPECT_FALSE(Refused("old.x"));
}

TEST_F(PatternTexts, AWriteThatCannotStartReportsAndKeepsTheTexts) {
    const ListFilePath nowhere = [this](std::string_view name) {
        return (dir_.path() / "missing-folder" / std::string(name)).string();
    };
    black_.Rebuild({"kept"});
    const ListWriteResult result = black_.Close(nowhere);
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(black_.Texts(), Texts{"kept"});
    const ListWriteResult noFolder = black_.Close([](std::string_view) { return std::nullopt; });
    EXPECT_FALSE(noFolder.written);
}

TEST_F(PatternTexts, ARewriteLeavesNoTemporaryFileBehind) {
    dir_.Write("UserBlock.txt", "a\n");
    black_.LoadIfEmpty(Where());
    black_.Close(Where());
    black_.Close(Where());
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(PatternTexts, TheProcessListsLoadFromTheirOwnFiles) {
    dir_.Write("UserTrust.txt", "good.x\n");
    dir_.Write("UserBlock.txt", "bad.x\n");
    LoadPatternTextLists(Where());
    EXPECT_EQ(WhiteListTexts().Texts(), Texts{"good.x"});
    EXPECT_EQ(BlackListTexts().Texts(), Texts{"bad.x"});
    EXPECT_EQ(WhiteListTexts().kind(), ListKind::UserTrust);
    EXPECT_EQ(BlackListTexts().kind(), ListKind::UserBlock);
}

// Browser windows load, edit and close on threads of their own.
TEST_F(PatternTexts, ThreadsLoadingEditingAndClosingAtOnceLeaveAWholeFile) {
    dir_.Write("UserTrust.txt", "t1 t2\n");
    PatternTextList white(kUserTrustListFile, ListKind::UserTrust);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                white.LoadIfEmpty(Where());
                Texts shown = ShownOrder(white.Texts());
                if (t % 2 == 0) shown.assign({"t1", "t2"});
                white.Rebuild(shown);
                EXPECT_TRUE(white.Close(Where()).written);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    const std::string bytes = Bytes("UserTrust.txt");
    EXPECT_TRUE(bytes == "t1\r\nt2\r\n" || bytes == "t2\r\nt1\r\n") << bytes;
}

}  // namespace
}  // namespace tamsel
