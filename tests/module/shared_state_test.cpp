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

std::unique_ptr<PatternList> List(const std::string& text) { return ParsePatternListText(text, "l.txt").list; }

std::string_view EntryText(const PatternList* list) { return list->Text(list->entries[0]); }

TEST(SharedState, FreshStateRefusesNothing) {
    SharedState state;
    EXPECT_EQ(state.attachCount.load(), 0);
    EXPECT_EQ(state.AllowAds.load(), 0);
    EXPECT_FALSE(state.Present(ListKind::ShippedBlock));
    EXPECT_FALSE(state.Present(ListKind::UserBlock));
    EXPECT_FALSE(state.Present(ListKind::UserTrust));
    const SharedState::Reader reader(state);
    const std::string get = "GET / HTTP/1.1\r\nHost: ads.x\r\n\r\n";
    EXPECT_EQ(InspectRequestWith(get.data(), static_cast<int32_t>(get.size()), reader.lists()).verdict,
              Verdict::Passed);
}

TEST(SharedState, AReaderKeepsTheListsItSawUntilItEnds) {
    SharedState state;
    state.Replace(ListKind::UserBlock, List("old.x\n"));
    {
        const SharedState::Reader reader(state);
        state.Replace(ListKind::UserBlock, List("new.x\n"));
        EXPECT_EQ(state.RetiredCount(), 1u);  // held back: the reader may use it
        ASSERT_EQ(reader.lists().userBlock->entries.size(), 1u);
        EXPECT_EQ(EntryText(reader.lists().userBlock), "old.x");
        const SharedState::Reader later(state);
        EXPECT_EQ(EntryText(later.lists().userBlock), "new.x");
    }
    state.Replace(ListKind::UserTrust, List("t.x\n"));
    EXPECT_EQ(state.RetiredCount(), 0u);  // freed once no reader was inside
    state.ClearLists();
    EXPECT_EQ(state.RetiredCount(), 0u);
    EXPECT_FALSE(state.Present(ListKind::UserTrust));
}

TEST(SharedState, RenewIfPresentLeavesANullListNull) {
    testing::TempDir dir;
    const std::string file = dir.Write("UserBlock.txt", "one.x\n");
    SharedState state;
    state.RenewIfPresent(ListKind::UserBlock, file);
    EXPECT_FALSE(state.Present(ListKind::UserBlock));
    state.Reload(ListKind::UserBlock, file);
    ASSERT_TRUE(state.Present(ListKind::UserBlock));
    dir.Write("UserBlock.txt", "two.x\n");
    state.RenewIfPresent(ListKind::UserBlock, file);
    EXPECT_EQ(EntryText(SharedState::Reader(state).lists().userBlock), "two.x");
    dir.Write("UserBlock.txt", "bad/(\n");
    state.RenewIfPresent(ListKind::UserBlock, file);  // a failed load is stored as null
    EXPECT_FALSE(state.Present(ListKind::UserBlock));
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
        state.Replace(ListKind::ShippedBlock, List("ads.stress.x\n/banners/\n"));
        state.Replace(ListKind::UserBlock, List("*.stress.x/*.*\\.gif\n"));
        state.Replace(ListKind::UserTrust, round % 2 ? List("~www.stress.y\n") : nullptr);
    }
    // Let the readers finish some rounds against the final lists.
    const long seen = inspections.load();
    while (inspections.load() < seen + 100) std::this_thread::yield();
    stop = true;
    for (auto& r : readers) r.join();
    EXPECT_EQ(refusedPlain.load(), 0);
    EXPECT_TRUE(InspectRequest(blocked.data(), static_cast<int32_t>(blocked.size())));
    state.ClearLists();
    EXPECT_EQ(state.RetiredCount(), 0u);  // nothing left behind once the readers are gone
}

}  // namespace
}  // namespace tamsel
