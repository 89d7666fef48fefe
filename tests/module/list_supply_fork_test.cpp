// A fork while another thread of the parent loads the lists.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "module/list_supply.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

std::atomic<int> stampReads{0};
std::atomic<bool> slow{true};

// The real stamp, slowed while the parent's thread loads.
std::optional<FileStamp> SlowStamp(const std::string& path) {
    ++stampReads;
    if (slow.load()) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return ReadFileStamp(path);
}

std::string listFolder;
std::optional<std::string> InListFolder(std::string_view name) { return listFolder + "/" + std::string(name); }

TEST(SupplyAfterFork, AChildTakesUpALoadItsParentWasInTheMiddleOf) {
    testing::TempDir dir;
    SharedState state;
    ListSupply supply(state, {&SlowStamp, &CoarseClockMs});
    dir.Write("BlockList.txt", "ads.x\n");
    listFolder = dir.path().string();
    supply.Configure(&InListFolder);
    std::thread loader([&] { supply.Ready(); });
    while (stampReads.load() == 0) std::this_thread::yield();
    const pid_t child = ::fork();
    if (child == 0) {
        // Without the resume the child would find the load forever under way.
        slow = false;
        supply.ResumeAfterFork();
        const bool loaded = supply.Ready() && state.Present(ListKind::ShippedBlock);
        ::_exit(loaded ? 0 : 1);
    }
    loader.join();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tamsel
