// A fork while another thread of the parent loads the lists.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "runtime/list_supply.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

// The child is forked while the parent's loader thread has ended but is not
// yet joined; under ThreadSanitizer the child's exit would report that
// thread as leaked and fail the child for it.
extern "C" const char* __tsan_default_options() { return "report_thread_leaks=0"; }

namespace tamsel {
namespace {

// A sanitizer's runtime can be left locked in a child forked while another
// thread of the parent is inside it (ThreadSanitizer's allocator was seen
// so), and a thread the child starts then waits for good. Under a sanitizer
// the child checks what it inherited and starts no thread of its own.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kChildMayStartThreads = false;
#else
constexpr bool kChildMayStartThreads = true;
#endif

std::atomic<int> stampReads{0};
// The real stamp, slowed so the fork comes while the load is under way.
class SlowStampEnv : public EnvWrapper {
public:
    SlowStampEnv() : EnvWrapper(PlatformEnv()) {}
    std::optional<FileStamp> ReadFileStamp(const std::string& path) override {
        ++stampReads;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return EnvWrapper::ReadFileStamp(path);
    }
};

std::string listFolder;
std::optional<std::string> InListFolder(std::string_view name) { return listFolder + "/" + std::string(name); }

TEST(SupplyAfterFork, AForkWaitsForALoadUnderWaySoTheChildFindsTheListsWhole) {
    testing::TempDir dir;
    SlowStampEnv env;
    const testing::ScopedEnv scoped(env);
    SharedState state;
    ListSupply supply(state);
    dir.Write("BlockList.txt", "ads.x\n");
    listFolder = dir.path().string();
    supply.Configure(&InListFolder);
    std::thread loader([&] { supply.Ready(); });
    while (stampReads.load() == 0) std::this_thread::yield();
    supply.HoldForFork();  // what pthread_atfork runs before the fork
    const pid_t child = ::fork();
    supply.ReleaseAfterFork();
    if (child == 0) {
        // The load ended before the fork: the lists are in place, and the
        // shared state's writer lock is free for the child's own work.
        const bool whole = state.Present(ListKind::ShippedBlock) && supply.Ready();
        state.Replace(ListKind::UserBlock, nullptr);
        ::_exit(whole ? 0 : 1);
    }
    loader.join();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // Held and released once, the work is free again in the parent.
    supply.HoldForFork();
    supply.ReleaseAfterFork();
    EXPECT_TRUE(supply.Ready());
}

std::atomic<uint64_t> clockMs{5000};
// The real platform with a clock the test moves.
class FakeClockEnv : public EnvWrapper {
public:
    FakeClockEnv() : EnvWrapper(PlatformEnv()) {}
    uint64_t CoarseClockMs() noexcept override { return clockMs.load(); }
};

// A long list, so that its re-read is under way when the fork comes.
std::string LongList(const std::string& last) {
    std::string text;
    for (int i = 0; i < 200000; ++i) text += "host" + std::to_string(i) + ".example/path/" + std::to_string(i) + "\n";
    return text + last + "\n";
}

TEST(SupplyAfterFork, AForkWaitsForAReReadUnderWayOnItsOwnThread) {
    testing::TempDir dir;
    FakeClockEnv env;
    const testing::ScopedEnv scoped(env);
    SharedState state;
    ListSupply supply(state);
    dir.Write("UserBlock.txt", "first.y\n");
    listFolder = dir.path().string();
    supply.Configure(&InListFolder);
    ASSERT_TRUE(supply.Ready());
    dir.Write("UserBlock.new", LongList("second.y"));
    std::filesystem::rename(dir.path() / "UserBlock.new", dir.path() / "UserBlock.txt");
    clockMs += 1000;
    // The sender hands the re-read on and returns; the right to work stays
    // taken until the re-read's thread is done, so the fork waits for it.
    ASSERT_TRUE(supply.Ready());
    supply.HoldForFork();
    const pid_t child = ::fork();
    supply.ReleaseAfterFork();
    auto lastEntry = [&] {
        const SharedState::Reader reader(state);
        const PatternList* list = reader.lists().userBlock;
        return list == nullptr ? std::string() : std::string(list->Text(list->entries[0]));
    };
    if (child == 0) {
        // The new list is whole, and the work is free for the child's own look.
        dir.Write("UserBlock.new", "third.y\n");
        std::filesystem::rename(dir.path() / "UserBlock.new", dir.path() / "UserBlock.txt");
        const bool whole = lastEntry() == "second.y";
        if (!kChildMayStartThreads) ::_exit(whole ? 0 : 1);
        clockMs += 1000;
        supply.Ready();
        for (int i = 0; i < 3000 && lastEntry() != "third.y"; ++i) {  // up to 30 s on a loaded machine
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::_exit(whole && lastEntry() == "third.y" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(lastEntry(), "second.y");
}

}  // namespace
}  // namespace tamsel
