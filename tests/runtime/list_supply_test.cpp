// The list supply against real list files, with the file stamps and the
// clock under the test's control.
#include "runtime/list_supply.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "intercept/inspect.h"
#include "runtime/refusal_log.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

// The fake platform: a stamp per path the test sets, and a clock it moves.
std::mutex fakeMutex;
std::map<std::string, FileStamp> stamps;
std::atomic<uint64_t> clockMs{0};
std::atomic<int> stampReads{0};
std::atomic<int> stampDelayMs{0};

std::optional<FileStamp> FakeStamp(const std::string& path) {
    ++stampReads;
    std::this_thread::sleep_for(std::chrono::milliseconds(stampDelayMs.load()));
    const std::lock_guard lock(fakeMutex);
    const auto found = stamps.find(path);
    if (found == stamps.end()) return std::nullopt;
    return found->second;
}
uint64_t FakeClock() { return clockMs.load(); }

// Where the supply starts a re-read: at once, on the sender's thread, unless
// the test holds them back to run them itself.
std::atomic<bool> holdRereads{false};
std::vector<std::function<void()>> heldRereads;  // under fakeMutex
bool FakeStart(std::function<void()> work) noexcept {
    if (!holdRereads.load()) {
        work();
        return true;
    }
    const std::lock_guard lock(fakeMutex);
    heldRereads.push_back(std::move(work));
    return true;
}

// The fake platform as an Env. Loads go straight to the files, without
// snapshots: the stamp reads counted here are the supply's own looks.
class FakeFilesEnv : public EnvWrapper {
public:
    FakeFilesEnv() : EnvWrapper(PlatformEnv()) {}
    std::optional<FileStamp> ReadFileStamp(const std::string& path) override { return FakeStamp(path); }
    uint64_t CoarseClockMs() noexcept override { return FakeClock(); }
    bool RunInBackground(std::function<void()> work) noexcept override { return FakeStart(std::move(work)); }
    std::optional<std::string> CacheFolderPath() override { return std::nullopt; }
};

std::string listFolder;
// Formed as Path() forms it, so that the fake stamps are found on Windows too.
std::optional<std::string> InListFolder(std::string_view name) {
    return (std::filesystem::path(listFolder) / std::string(name)).string();
}

class Supply : public ::testing::Test {
protected:
    void SetUp() override {
        stamps.clear();
        clockMs = 5000;
        stampReads = 0;
        stampDelayMs = 0;
        holdRereads = false;
        heldRereads.clear();
        Put("BlockList.txt", "ads.x\n");
        Put("UserBlock.txt", "mine.y\n");
        Put("UserTrust.txt", "good.ads.x\n");
        listFolder = dir_.path().string();
        supply_.Configure(&InListFolder);
    }
    void TearDown() override { NameRefusalLog(std::nullopt, ""); }

    std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }
    // Writes the file and gives it a new stamp, as a replacement would.
    void Put(const std::string& name, const std::string& text) {
        dir_.Write(name, text);
        const std::lock_guard lock(fakeMutex);
        FileStamp& stamp = stamps[Path(name)];
        stamp.inode += 1;
        stamp.size = text.size();
    }
    void Remove(const std::string& name) {
        std::filesystem::remove(Path(name));
        const std::lock_guard lock(fakeMutex);
        stamps.erase(Path(name));
    }
    bool Refused(const std::string& host) {
        EXPECT_TRUE(supply_.Ready());
        const std::string head = "GET /a HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
        const SharedState::Reader reader(state_);
        return InspectRequestWith(head.data(), static_cast<int32_t>(head.size()), reader.lists()).verdict ==
               Verdict::Refused;
    }

    testing::TempDir dir_;
    FakeFilesEnv env_;
    testing::ScopedEnv scoped_{env_};
    SharedState state_;
    ListSupply supply_{state_};
};

TEST_F(Supply, NothingIsReadUntilADecisionNeedsTheLists) {
    EXPECT_EQ(stampReads.load(), 0);
    EXPECT_FALSE(state_.Present(ListKind::ShippedBlock));
    EXPECT_TRUE(Refused("banner.ads.x"));
    EXPECT_TRUE(Refused("mine.y"));
    EXPECT_FALSE(Refused("good.ads.x"));
    EXPECT_EQ(stampReads.load(), 3);  // one look per file, then none within the second
}

TEST_F(Supply, UnconfiguredOrStoppedItLeavesTheStateAlone) {
    SharedState other;
    ListSupply idle(other);
    EXPECT_TRUE(idle.Ready());
    EXPECT_FALSE(other.Present(ListKind::ShippedBlock));
    EXPECT_TRUE(Refused("ads.x"));
    supply_.Stop();
    Put("BlockList.txt", "other.x\n");
    clockMs += 5000;
    EXPECT_TRUE(Refused("ads.x"));  // the list in place stays, unfollowed
}

TEST_F(Supply, AReplacedFileIsLoadedOnlyOnceASecondHasGoneBy) {
    ASSERT_TRUE(Refused("ads.x"));
    Put("BlockList.txt", "other.x\n");
    clockMs += 999;
    EXPECT_TRUE(Refused("ads.x"));
    EXPECT_EQ(stampReads.load(), 3);
    clockMs += 1;
    EXPECT_FALSE(Refused("ads.x"));
    EXPECT_TRUE(Refused("other.x"));
    EXPECT_TRUE(Refused("mine.y"));  // the untouched lists are kept
}

// The sender that notices a replaced file only hands its re-read on and
// judges by the lists in use; while the re-read is under way nobody looks
// again, and when it ends the new list is in force.
TEST_F(Supply, AReplacedFileIsReReadAwayFromTheSenderThatNoticedIt) {
    ASSERT_TRUE(Refused("ads.x"));
    holdRereads = true;
    Put("BlockList.txt", "other.x\n");
    clockMs += 1000;
    EXPECT_TRUE(Refused("ads.x"));
    EXPECT_FALSE(Refused("other.x"));
    ASSERT_EQ(heldRereads.size(), 1u);
    const int reads = stampReads.load();
    clockMs += 1000;
    EXPECT_TRUE(Refused("ads.x"));
    EXPECT_EQ(stampReads.load(), reads);  // the re-read still holds the right to look
    heldRereads[0]();
    EXPECT_FALSE(Refused("ads.x"));
    EXPECT_TRUE(Refused("other.x"));
    EXPECT_TRUE(Refused("mine.y"));  // the untouched lists are kept
    Put("UserBlock.txt", "next.y\n");
    clockMs += 1000;
    EXPECT_TRUE(Refused("mine.y"));
    ASSERT_EQ(heldRereads.size(), 2u);  // looked again once the re-read ended
    heldRereads[1]();
    EXPECT_TRUE(Refused("next.y"));
}

// The fake stamps and clock, with re-reads started as the platform starts
// them, on a thread whose id is kept.
std::atomic<std::thread::id> rereadThread{};
class RecordedThreadEnv : public EnvWrapper {
public:
    using EnvWrapper::EnvWrapper;
    bool RunInBackground(std::function<void()> work) noexcept override {
        return PlatformEnv().RunInBackground([work = std::move(work)] {
            rereadThread.store(std::this_thread::get_id());
            work();
        });
    }
};

TEST_F(Supply, AReReadRunsOnAThreadOfItsOwn) {
    RecordedThreadEnv threads(env_);
    const testing::ScopedEnv scoped(threads);
    SharedState state;
    ListSupply supply(state);
    supply.Configure(&InListFolder);
    ASSERT_TRUE(supply.Ready());
    Put("UserBlock.txt", "later.y\n");
    clockMs += 1000;
    EXPECT_TRUE(supply.Ready());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto userBlockIs = [&](const char* text) {
        const SharedState::Reader reader(state);
        const PatternList* list = reader.lists().userBlock;
        return list != nullptr && list->Text(list->entries[0]) == text;
    };
    while (!userBlockIs("later.y") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(userBlockIs("later.y"));
    EXPECT_NE(rereadThread.load(), std::thread::id());
    EXPECT_NE(rereadThread.load(), std::this_thread::get_id());
    supply.HoldForFork();  // waits until the re-read's thread lets go
    supply.ReleaseAfterFork();
}

TEST_F(Supply, TheStampDecidesNotTheContent) {
    ASSERT_TRUE(Refused("ads.x"));
    dir_.Write("UserBlock.txt", "sneaked.y\n");  // same stamp: not looked at
    clockMs += 2000;
    EXPECT_FALSE(Refused("sneaked.y"));
    Put("UserBlock.txt", "sneaked.y\n");
    clockMs += 2000;
    EXPECT_TRUE(Refused("sneaked.y"));
    EXPECT_FALSE(Refused("mine.y"));
}

TEST_F(Supply, ABrokenReplacementKeepsTheOldListAndIsLogged) {
    NameRefusalLog(Path("refusals.log"), "test");
    ASSERT_TRUE(Refused("mine.y"));
    Put("UserBlock.txt", "broken.y/(\\1)\n");
    clockMs += 1000;
    EXPECT_TRUE(Refused("mine.y"));
    std::ifstream in(Path("refusals.log"));
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    const auto record = ParseLogLine(line);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->verdict, kListNotLoaded);
    // The log writes a backslash (Windows' separator) escaped, as "\x5c".
    std::string where;
    for (const char c : Path("UserBlock.txt")) where += c == '\\' ? std::string("\\x5c") : std::string(1, c);
    EXPECT_EQ(record->where, where + ":1");
    EXPECT_FALSE(std::getline(in, line));  // looked at once, not every second
    clockMs += 1000;
    EXPECT_TRUE(Refused("mine.y"));
    // A good version afterwards is taken up.
    Put("UserBlock.txt", "fixed.y\n");
    clockMs += 1000;
    EXPECT_TRUE(Refused("fixed.y"));
}

TEST_F(Supply, AFileThatGoesAwayIsAnEmptyListUntilItComesBack) {
    ASSERT_TRUE(Refused("ads.x"));
    Remove("BlockList.txt");
    clockMs += 1000;
    EXPECT_FALSE(Refused("ads.x"));
    EXPECT_FALSE(state_.Present(ListKind::ShippedBlock));
    Put("BlockList.txt", "ads.x\n");
    clockMs += 1000;
    EXPECT_TRUE(Refused("ads.x"));
}

TEST_F(Supply, AListAnEditorPutInPlaceIsNotLoadedOverAtFirstNeed) {
    state_.Replace(ListKind::UserBlock, ParsePatternListText("edited.y\n", "UserBlock.txt").value());
    EXPECT_TRUE(Refused("edited.y"));
    EXPECT_FALSE(Refused("mine.y"));
}

TEST_F(Supply, ThreadsThatNeedTheListsAtOnceShareOneLoad) {
    stampDelayMs = 30;  // a slow load, so the others find it under way
    std::vector<std::thread> threads;
    std::atomic<int> readyWithLists{0};
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            if (supply_.Ready() && SharedState::Reader(state_).lists().shippedBlock != nullptr) ++readyWithLists;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(readyWithLists.load(), 8);
    EXPECT_EQ(stampReads.load(), 3);
}

}  // namespace
}  // namespace tamsel
