#include "ui/pattern_text_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "browser/source_judge.h"
#include "intercept/inspect.h"
#include "listfiles/list_folders.h"
#include "runtime/shared_state.h"
#include "support/temp_dir.h"
#include "ui/user_lists.h"

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

    std::string Bytes(const char* name) const { return ReadBytes(dir_.path() / name); }
    bool Refused(const std::string& host) const {
        const std::string head = "GET /x HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
        return InspectRequest(ClassifyOutgoing(head.data(), head.size()));
    }

    testing::TempDir dir_;
    const ListStore store_{TheSharedState(), FilesOf(OneFolder(dir_.path().string()))};
    PatternTextList black_{ListKind::UserBlock};
};

TEST_F(PatternTexts, LinesBecomeEntriesAsWrittenShownLastFirst) {
    dir_.Write("UserBlock.txt", "/image/banners\n/ads /sponsors\n\n# my patterns\r\nx.y # why\n\t\v\f");
    black_.LoadIfEmpty(store_);
    EXPECT_EQ(black_.Texts(), (Texts{"/image/banners", "/ads /sponsors", "# my patterns", "x.y # why"}));
    EXPECT_EQ(black_.Shown(), (Texts{"x.y # why", "# my patterns", "/ads /sponsors", "/image/banners"}));
    // Open and close without a change: the same lines in the same order.
    black_.Close(store_);
    EXPECT_EQ(Bytes("UserBlock.txt"), "/image/banners\r\n/ads /sponsors\r\n# my patterns\r\nx.y # why\r\n");
}

// The shown list is the file upside down: the top entry is the last line.
TEST_F(PatternTexts, AddAndEditPutTheEntryLastInTheFileAndDeleteMovesNothing) {
    dir_.Write("UserBlock.txt", "P\nQ\nR\n");
    black_.LoadIfEmpty(store_);
    EXPECT_TRUE(black_.Add("X"));
    EXPECT_EQ(black_.Shown(), (Texts{"X", "R", "Q", "P"}));
    EXPECT_EQ(black_.Texts(), (Texts{"P", "Q", "R", "X"}));

    EXPECT_TRUE(black_.Edit(2, "Z"));  // Q becomes Z, on top
    EXPECT_EQ(black_.Shown(), (Texts{"Z", "X", "R", "P"}));
    EXPECT_TRUE(black_.Edit(0, "Z"));  // OK without a change keeps it where it is: on top
    EXPECT_EQ(black_.Shown(), (Texts{"Z", "X", "R", "P"}));
    EXPECT_TRUE(black_.Delete(2));
    EXPECT_EQ(black_.Shown(), (Texts{"Z", "X", "P"}));

    // Empty texts and positions past the end change nothing.
    EXPECT_FALSE(black_.Add(""));
    EXPECT_FALSE(black_.Edit(1, ""));
    EXPECT_FALSE(black_.Edit(3, "W"));
    EXPECT_FALSE(black_.Delete(3));
    EXPECT_TRUE(black_.Add("Z"));  // a duplicate stays
    const ListWriteResult result = black_.Close(store_);
    EXPECT_TRUE(result.written) << result.error;
    EXPECT_EQ(result.path, (dir_.path() / "UserBlock.txt").string());
    EXPECT_EQ(Bytes("UserBlock.txt"), "P\r\nX\r\nZ\r\nZ\r\n");
}

TEST_F(PatternTexts, AnEmptyListIsWrittenAsOneEmptyLine) {
    dir_.Write("UserBlock.txt", "only\n");
    black_.LoadIfEmpty(store_);
    EXPECT_TRUE(black_.Delete(0));
    EXPECT_TRUE(black_.Close(store_).written);
    EXPECT_EQ(Bytes("UserBlock.txt"), "\r\n");
}

// A line the loader reads in pieces is kept whole, so it still gives the
// loader the same pieces.
TEST_F(PatternTexts, LongLinesAndLongListsLoadWhole) {
    const std::string longLine(5000, 'w');
    std::string file = "a" + longLine + "\n";
    for (int i = 0; i < 2000; ++i) file += "e" + std::to_string(i) + "\n";
    dir_.Write("UserBlock.txt", file);
    black_.LoadIfEmpty(store_);
    const Texts texts = black_.Texts();
    ASSERT_EQ(texts.size(), 2001u);
    EXPECT_EQ(texts[0], "a" + longLine);
    EXPECT_EQ(texts[2000], "e1999");
    black_.Close(store_);
    EXPECT_EQ(Bytes("UserBlock.txt"), ListFileBytes(texts));
}

TEST_F(PatternTexts, AMissingFileLeavesTheListEmptyAndTheNextLoadTriesAgain) {
    black_.LoadIfEmpty(store_);
    EXPECT_TRUE(black_.Texts().empty());
    dir_.Write("UserBlock.txt", "later\n");
    black_.LoadIfEmpty(store_);
    EXPECT_EQ(black_.Texts(), Texts{"later"});
}

TEST_F(PatternTexts, ALoadRenewsOnlyAPresentPatternList) {
    dir_.Write("UserBlock.txt", "first.x\n");
    black_.LoadIfEmpty(store_);
    EXPECT_FALSE(TheSharedState().Present(ListKind::UserBlock));  // null stays null

    PatternTextList again(ListKind::UserBlock);
    TheSharedState().Replace(ListKind::UserBlock, ParsePatternListText("", "empty").value());
    EXPECT_FALSE(Refused("first.x"));
    again.LoadIfEmpty(store_);
    EXPECT_TRUE(Refused("first.x"));

    // Texts that hold entries are not read again and the list is not renewed.
    dir_.Write("UserBlock.txt", "second.x\n");
    again.LoadIfEmpty(store_);
    EXPECT_EQ(again.Texts(), Texts{"first.x"});
    EXPECT_FALSE(Refused("second.x"));
}

TEST_F(PatternTexts, CloseReplacesThePatternListAtOnce) {
    dir_.Write("UserBlock.txt", "old.x\n");
    store_.Publish(ListKind::UserBlock);
    black_.LoadIfEmpty(store_);
    EXPECT_TRUE(Refused("old.x"));
    black_.Edit(0, "new.x");
    ASSERT_TRUE(black_.Close(store_).written);
    EXPECT_TRUE(Refused("new.x"));
    EXPECT_FALSE(Refused("old.x"));
}

TEST_F(PatternTexts, AWriteThatCannotStartReportsAndKeepsTheTexts) {
    const ListStore nowhere(TheSharedState(), FilesOf(OneFolder((dir_.path() / "missing-folder").string())));
    black_.Add("kept");
    const ListWriteResult result = black_.Close(nowhere);
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(black_.Texts(), Texts{"kept"});
    const ListStore noFolder(TheSharedState(), [](std::string_view) { return std::nullopt; });
    EXPECT_FALSE(black_.Close(noFolder).written);
}

TEST_F(PatternTexts, ARewriteLeavesNoTemporaryFileBehind) {
    dir_.Write("UserBlock.txt", "a\n");
    black_.LoadIfEmpty(store_);
    black_.Close(store_);
    black_.Close(store_);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path())) ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(PatternTexts, TheProcessTextsLoadFromTheirOwnFilesOnlyWhileEmpty) {
    dir_.Write("UserTrust.txt", "good.x\n");
    dir_.Write("UserBlock.txt", "bad.x\n");
    LoadPatternTextLists(store_);
    EXPECT_EQ(UserListTexts(ListKind::UserTrust).Texts(), Texts{"good.x"});
    EXPECT_EQ(UserListTexts(ListKind::UserBlock).Texts(), Texts{"bad.x"});
    EXPECT_EQ(UserListTexts(ListKind::UserBlock).kind(), ListKind::UserBlock);
    dir_.Write("UserBlock.txt", "other.x\n");
    LoadPatternTextLists(store_);
    EXPECT_EQ(UserListTexts(ListKind::UserBlock).Texts(), Texts{"bad.x"});
}

// Browser windows load, edit and close on threads of their own.
TEST_F(PatternTexts, ThreadsLoadingEditingAndClosingAtOnceLeaveAWholeFile) {
    dir_.Write("UserTrust.txt", "t1 t2\nt3\n");
    PatternTextList white(ListKind::UserTrust);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                white.LoadIfEmpty(store_);
                if (t % 2 == 0 && white.Add("t4")) white.Delete(0);
                EXPECT_TRUE(white.Close(store_).written);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(Bytes("UserTrust.txt"), "t1 t2\r\nt3\r\n");
}

// --- Edits change only what the edited entries decide ---------------------

// Lines of every kind the loader reads: hosts, ports, paths with blanks
// inside, exceptions, comment lines and comment parts.
const char* const kLinePool[] = {
    "ads.x",    "~ads.x/keep/",   "/ads /sponsors", "# my notes", "*.x/ads",  "b.x # c.y", "~www.b.x",
    "c.y:8080", "  ~ /ads/",      "#ads.x",         "x",          "~c.y /ok", "notes",     "~  ",
    "/keep/",   "a.ads.x/ads/1 ", "~/ads/sponsors", "my.x",
};
const char* const kUrls[] = {
    "http://ads.x/",        "http://ads.x/keep/1",
    "http://a.ads.x/ads/1", "http://b.x/ads",
    "http://www.b.x/ads",   "http://c.y:8080/",
    "http://c.y/ok",        "http://my/",
    "http://notes/",        "http://z.z/ads/sponsors",
    "http://z.z/ads/",      "http://z.z/keep/",
    "http://my.x/",         "http://x/",
    "http://c.y/",          "http://e.x/ads/sponsors",
};

// Every URL's verdict and deciding line text, or "no list" when it failed.
std::vector<std::string> Verdicts(const ListLoadResult& loaded) {
    std::vector<std::string> verdicts;
    for (const char* given : kUrls) {
        if (!loaded.ok()) {
            verdicts.emplace_back("no list");
            continue;
        }
        std::string url = given;
        const Judgement j = JudgeSourceUrl(url, ListSet{nullptr, loaded.value().get(), nullptr});
        verdicts.push_back(std::to_string(static_cast<int>(j.verdict)) +
                           (j.entry ? std::string(j.list->Text(*j.entry)) : ""));
    }
    return verdicts;
}

std::string RandomLine(std::mt19937& random) { return kLinePool[random() % std::size(kLinePool)]; }

// The reference keeps the list box's items, top first, as a person sees
// them; the file it stands for is that list read from the bottom up.
std::string ReferenceFile(const Texts& shownTopFirst) {
    std::string text;
    for (auto it = shownTopFirst.rbegin(); it != shownTopFirst.rend(); ++it) text += *it + "\n";
    return text;
}

void EditRandomly(std::mt19937& random, PatternTextList& list, Texts& reference) {
    const size_t steps = random() % 5;
    for (size_t s = 0; s < steps; ++s) {
        const std::string text = RandomLine(random);
        const size_t at = reference.empty() ? 0 : random() % reference.size();
        switch (random() % 3) {
            case 0:
                list.Add(text);
                reference.insert(reference.begin(), text);
                break;
            case 1:
                if (!list.Edit(at, text)) break;
                reference.erase(reference.begin() + static_cast<long>(at));
                reference.insert(reference.begin(), text);
                break;
            default:
                if (!list.Delete(at)) break;
                reference.erase(reference.begin() + static_cast<long>(at));
                break;
        }
    }
}

TEST_F(PatternTexts, RandomEditSessionsGiveTheLoaderTheExpectedFile) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 80; ++round) {
        std::string file;
        Texts reference;  // top first
        for (size_t n = random() % 10; n > 0; --n) {
            const std::string line = random() % 5 == 0 ? " \t" : RandomLine(random);
            file += line + (random() % 2 ? "\r\n" : "\n");
            if (line != " \t") reference.insert(reference.begin(), line);
        }
        dir_.Write("UserBlock.txt", file);
        PatternTextList untouched(ListKind::UserBlock);  // open and close: nothing changes
        untouched.LoadIfEmpty(store_);
        untouched.Close(store_);
        ASSERT_EQ(Verdicts(store_.Load(ListKind::UserBlock)), Verdicts(ParsePatternListText(file, "before"))) << file;
        for (int session = 0; session < 3; ++session) {
            PatternTextList list(ListKind::UserBlock);
            list.LoadIfEmpty(store_);
            ASSERT_EQ(list.Shown(), reference) << "round " << round;
            EditRandomly(random, list, reference);
            ASSERT_TRUE(list.Close(store_).written);
            const ListLoadResult written = store_.Load(ListKind::UserBlock);
            ASSERT_EQ(Verdicts(written), Verdicts(ParsePatternListText(ReferenceFile(reference), "expected")))
                << "round " << round << ", session " << session << ":\n"
                << Bytes("UserBlock.txt");
        }
    }
}

}  // namespace
}  // namespace tamsel
