#include "module/shared_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "intercept/inspect.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

TEST(SharedState, FreshStateRefusesNothing) {
    SharedState state;
    EXPECT_EQ(state.attachCount.load(), 0);
    EXPECT_EQ(state.AllowAds.load(), 0);
    EXPECT_FALSE(state.shippedBlockList.Present());
    EXPECT_FALSE(state.userBlockList.Present());
    EXPECT_FALSE(state.userTrustList.Present());
    const ListSet lists = state.Snapshot();
    const std::string get = "GET / HTTP/1.1\r\nHost: ads.x\r\n\r\n";
    EXPECT_EQ(InspectRequestWith(get.data(), static_cast<int32_t>(get.size()), lists).verdict, Verdict::Passed);
}

TEST(ListSlot, ReplaceKeepsTheOldListAliveForItsReaders) {
    ListSlot slot;
    slot.Replace(ParsePatternListText("old.x\n", "a").list);
    const auto reader = slot.Get();
    slot.Replace(ParsePatternListText("new.x\n", "b").list);
    ASSERT_EQ(reader->entries.size(), 1u);
    EXPECT_EQ(reader->entries[0].text, "old.x");  // still whole
    EXPECT_EQ(slot.Get()->entries[0].text, "new.x");
}

TEST(ListSlot, RenewIfPresentLeavesANullListNull) {
    testing::TempDir dir;
    const std::string file = dir.Write("UserBlock.txt", "one.x\n");
    ListSlot slot;
    slot.RenewIfPresent(file);
    EXPECT_FALSE(slot.Present());
    slot.Reload(file);
    ASSERT_TRUE(slot.Present());
    dir.Write("UserBlock.txt", "two.x\n");
    slot.RenewIfPresent(file);
    EXPECT_EQ(slot.Get()->entries[0].text, "two.x");
    dir.Write("UserBlock.txt", "bad/(\n");
    slot.RenewIfPresent(file);  // a failed load is stored as null
    EXPECT_FALSE(slot.Present());
}

// Threads inspect requests while another keeps replacing all three lists.
// Run under ThreadSanitizer and AddressSanitizer this shows no race and no
// use of a freed list.
TEST(SharedState, InspectionWhileListsAreReplaced) {
    SharedState& state = TheSharedState();
    const std::string blocked = "GET /banners/1.gif HTTP/1.1\r\nHost: ads.stress.x\r\n\r\n";
    const std::string plain = "GET /index.html HTTP/1.1\r\nHost: www.stress.y\r\n\r\n";
    std::atomic<bool> stop{false};
    std::atomic<long> refusedPlain{0};
    std::atomic<long> inspections{0};

    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                InspectRequest(blocked.data(), static_cast<int32_t>(blocked.size()));
                if (InspectRequest(plain.data(), static_cast<int32_t>(plain.size()))) ++refusedPlain;
                ++inspections;
            }
        });
    }
    for (int round = 0; round < 300; ++round) {
        state.shippedBlockList.Replace(ParsePatternListText("ads.stress.x\n/banners/\n", "s").list);
        state.userBlockList.Replace(ParsePatternListText("*.stress.x/*.*\\.gif\n", "u").list);
        state.userTrustList.Replace(round % 2 ? ParsePatternListText("~www.stress.y\n", "t").list : nullptr);
        state.AllowAds.store(0);
    }
    // Let the readers finish a few rounds against the final lists.
    const long seen = inspections.load();
    while (inspections.load() < seen + 100) std::this_thread::yield();
    stop = true;
    for (auto& r : readers) r.join();
    EXPECT_EQ(refusedPlain.load(), 0);
    EXPECT_TRUE(InspectRequest(blocked.data(), static_cast<int32_t>(blocked.size())));
    state.shippedBlockList.Clear();
    state.userBlockList.Clear();
    state.userTrustList.Clear();
}

}  // namespace
}  // namespace tamsel
