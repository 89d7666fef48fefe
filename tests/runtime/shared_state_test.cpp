#include "runtime/shared_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "intercept/inspect.h"

namespace tamsel {
namespace {

std::unique_ptr<PatternList> List(const std::string& text) { return ParsePatternListText(text, "l.txt").value(); }

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
    EXPECT_EQ(state.ListsAlive(), 1);
    {
        const SharedState::Reader reader(state);
        state.Replace(ListKind::UserBlock, List("new.x\n"));
        EXPECT_EQ(state.ListsAlive(), 2);  // held back: the reader may use it
        ASSERT_EQ(reader.lists().userBlock->entries.size(), 1u);
        EXPECT_EQ(EntryText(reader.lists().userBlock), "old.x");
        const SharedState::Reader later(state);
        EXPECT_EQ(EntryText(later.lists().userBlock), "new.x");
    }
    EXPECT_EQ(state.ListsAlive(), 1);  // freed as its last reader left, with no replacement since
    state.Replace(ListKind::UserTrust, List("t.x\n"));
    EXPECT_EQ(state.ListsAlive(), 2);
    state.ClearLists();
    EXPECT_EQ(state.ListsAlive(), 0);
    EXPECT_FALSE(state.Present(ListKind::UserTrust));
}

// A list replaced under a reader is freed when that reader leaves, even
// while other readers come and go all the time.
TEST(SharedState, BusyReadersDoNotHoldBackAReplacedList) {
    SharedState state;
    state.Replace(ListKind::ShippedBlock, List("one.x\n"));
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) const SharedState::Reader busy(state);
        });
    }
    {
        const SharedState::Reader holder(state);
        state.Replace(ListKind::ShippedBlock, List("two.x\n"));
        EXPECT_EQ(EntryText(holder.lists().shippedBlock), "one.x");
    }
    // A busy reader that entered before the replacement may still hold it
    // for the length of its section; none that entered later can.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (state.ListsAlive() > 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_EQ(state.ListsAlive(), 1);
    stop = true;
    for (auto& r : readers) r.join();
}

// Threads inspect requests while another keeps replacing all three lists.
// Version n of the lists refuses exactly host h<n % 7>, so each reader can
// tell whether the lists it holds give the verdicts of the version they name;
// and the lists alive never exceed those in the slots and those the readers
// hold. Run under ThreadSanitizer and AddressSanitizer this also shows no race
// and no use of a freed list.
std::string Probe(int host) { return "GET /p.gif HTTP/1.1\r\nHost: h" + std::to_string(host) + ".stress.x\r\n\r\n"; }

bool RefusedBy(const ListSet& lists, int host) {
    const std::string probe = Probe(host);
    return InspectRequestWith(probe.data(), static_cast<int32_t>(probe.size()), lists).verdict == Verdict::Refused;
}

std::unique_ptr<PatternList> Version(int n, const std::string& kind) {
    return ParsePatternListText("h" + std::to_string(n % 7) + ".stress.x\n", kind + std::to_string(n)).value();
}

TEST(SharedState, InspectionWhileListsAreReplaced) {
    constexpr int kReaders = 4;
    SharedState state;
    std::atomic<bool> stop{false};
    std::atomic<long> wrongVerdicts{0}, inspections{0}, mostAlive{0};
    const auto noteAlive = [&] {
        long alive = state.ListsAlive(), most = mostAlive.load();
        while (alive > most && !mostAlive.compare_exchange_weak(most, alive)) {
        }
    };
    std::vector<std::thread> readers;
    for (int t = 0; t < kReaders; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const SharedState::Reader reader(state);
                const PatternList* block = reader.lists().userBlock;
                if (block == nullptr) continue;
                const int n = std::stoi(block->source.substr(5));  // "block<n>"
                ListSet only;
                only.userBlock = block;
                if (!RefusedBy(only, n % 7) || RefusedBy(only, (n + 1) % 7)) ++wrongVerdicts;
                ++inspections;
            }
        });
    }
    for (int n = 0; n < 3000; ++n) {
        state.Replace(ListKind::UserBlock, Version(n, "block"));
        state.Replace(ListKind::ShippedBlock, Version(n, "ship"));
        state.Replace(ListKind::UserTrust, n % 2 ? Version(n + 3, "trust") : nullptr);
        noteAlive();
    }
    const long seen = inspections.load();
    while (inspections.load() < seen + 100) std::this_thread::yield();
    stop = true;
    for (auto& r : readers) r.join();
    EXPECT_EQ(wrongVerdicts.load(), 0);
    EXPECT_GT(inspections.load(), 100);
    // Three in the slots, and at most three held by each reader.
    EXPECT_LE(mostAlive.load(), 3 + 3 * kReaders);
    EXPECT_EQ(state.ListsAlive(), 3);  // only the slots' own
    state.ClearLists();
    EXPECT_EQ(state.ListsAlive(), 0);
}

}  // namespace
}  // namespace tamsel
