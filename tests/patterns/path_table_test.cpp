#include "patterns/path_table.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "patterns/host_labels.h"
#include "patterns/pattern_list.h"
#include "support/lcg.h"
#include "support/list_path.h"

namespace tamsel {
namespace {

// Paths with counted repetitions and named classes, one per slot.
std::string CountedPath(int i) { return "/p" + std::to_string(i) + "x{2}[[:digit:]]"; }

struct Table {
    PathTable table;

    uint32_t Add(const std::string& path) {
        const Result<uint32_t> slot = table.Add(path);
        EXPECT_TRUE(slot) << path << ": " << slot.message();
        return slot ? *slot : 0;
    }
    bool Matches(uint32_t slot, std::string_view request) const {
        const LoweredPath lowered(request);
        return table.Matches(slot, lowered);
    }
};

TEST(PathTable, CountedPathsAnswer) {
    Table t;
    const int n = 25;
    for (int i = 0; i < n; ++i) EXPECT_EQ(t.Add(CountedPath(i)), static_cast<uint32_t>(i));
    t.table.Seal();
    for (int i = 0; i < n; ++i) {
        const std::string hit = "/P" + std::to_string(i) + "XX7/rest";
        const std::string miss = "/p" + std::to_string(i) + "x7";
        EXPECT_TRUE(t.Matches(static_cast<uint32_t>(i), hit)) << i;
        EXPECT_FALSE(t.Matches(static_cast<uint32_t>(i), miss)) << i;
    }
}

// Bytes of the upper half are bytes like any other, for globs and automata
// alike, and a path ends at its first NUL.
TEST(PathTable, PathsAreComparedAsBytes) {
    Table t;
    const uint32_t glob = t.Add("/*.*/ads/");
    const uint32_t automaton = t.Add("/*.*/ad[-_]?servers?");
    const uint32_t dot = t.Add("/a.b$");
    t.table.Seal();
    EXPECT_TRUE(t.Matches(glob, "/x/ADS/1.gif"));
    EXPECT_TRUE(t.Matches(glob, "/\xc3\xa9/ads/1.gif"));
    EXPECT_FALSE(t.Matches(glob, "/\xc3\xa9/ad/1.gif"));
    EXPECT_FALSE(t.Matches(glob, std::string_view("/x\0/ads/", 8)));
    EXPECT_TRUE(t.Matches(automaton, "/a/Ad_Server"));
    EXPECT_TRUE(t.Matches(automaton, "/\xc3\xa9/adservers"));
    EXPECT_FALSE(t.Matches(automaton, "/a/ad--server"));
    EXPECT_TRUE(t.Matches(dot, "/a\xff"
                               "b"));
    EXPECT_FALSE(t.Matches(dot, "/a\xc3\xa9"
                                "b"));
    EXPECT_TRUE(t.Matches(dot, std::string_view("/axb\0tail", 9)));
    EXPECT_EQ(t.table.Required(glob), "/ads/");
    EXPECT_EQ(t.table.Required(automaton), "server");
}

// The shapes that need a state per combination of pending counts, over
// paths of 60 KB whose bytes vary so that nearly every byte makes a new
// combination: each is answered, and rightly, in one pass.
TEST(PathTable, LongCountsOverLongPaths) {
    Table t;
    const uint32_t far = t.Add("/.*a.{254}c");
    const uint32_t digits = t.Add("/.*[0-9].{40}/");
    t.table.Seal();
    testing::Lcg next(17);
    std::string path = "/";
    for (int i = 0; i < 60000; ++i) path += next(2) ? 'a' : 'b';
    EXPECT_FALSE(t.Matches(far, path));
    path[40000 - 255] = 'a';
    path[40000] = 'C';
    EXPECT_TRUE(t.Matches(far, path));
    std::string numbered = "/";
    for (int i = 0; i < 60000; ++i) numbered += static_cast<char>('0' + next(10));
    EXPECT_FALSE(t.Matches(digits, numbered));
    numbered[50000] = '/';
    EXPECT_TRUE(t.Matches(digits, numbered));
}

// A path that holds the text a line is filed under many times still tests
// that line once per request, so a long path costs one pass per candidate.
TEST(ListIndex, EachCandidateIsTestedOncePerRequest) {
    const auto list = ParsePatternListText("/.*[0-9].{40}/\n/*.*/ads/x\n/never\n", "index.txt").value();
    ASSERT_TRUE(list);
    std::string path = "/";
    while (path.size() < 4000) path += "ads/0/never/";
    std::vector<int> tests(list->entries.size(), 0);
    const HostLabels host("h.example");
    const uint32_t found = list->index.FirstPassing(host, path, [&](uint32_t entry) {
        ++tests[entry];
        return false;
    });
    EXPECT_EQ(found, ListIndex::kNone);
    for (size_t entry = 0; entry < tests.size(); ++entry) EXPECT_LE(tests[entry], 1) << "entry " << entry;
}

// Threads asking about the same paths at once all get the right answers
// (run under the thread sanitizer to see matching writes nothing shared).
TEST(PathTable, ConcurrentMatches) {
    Table t;
    const int n = 32;
    for (int i = 0; i < n; ++i) t.Add(CountedPath(i));
    t.table.Seal();
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int k = 0; k < 4; ++k) {
        threads.emplace_back([&, k] {
            for (int i = 0; i < n; ++i) {
                const std::string hit = "/p" + std::to_string(i) + "xx0";
                wrong[k] += !t.Matches(static_cast<uint32_t>(i), hit);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

// A stored program is read back from a snapshot through its runs' length:
// one that claims more than it holds, or runs cut inside one, are refused
// rather than read past their end.
TEST(StoredProgram, SplitsKindRunsAndCodeAndRefusesWhatIsCutShort) {
    const std::string stored = std::string(1, static_cast<char>(PathShortcut::Kind::Automaton)) +
                               std::string("\x04\x00", 2) +
                               "\x01"
                               "a"
                               "\x01"
                               "b"
                               "CODE";
    const StoredProgram program = SplitStoredProgram(stored);
    EXPECT_EQ(program.kind, PathShortcut::Kind::Automaton);
    EXPECT_EQ(program.runs, "\x01"
                            "a"
                            "\x01"
                            "b");
    EXPECT_EQ(program.code, "CODE");
    EXPECT_EQ(SplitStoredProgram(stored.substr(0, 6)).kind, PathShortcut::Kind::None);  // runs cut short
    EXPECT_EQ(SplitStoredProgram(stored.substr(0, 2)).kind, PathShortcut::Kind::None);  // no length
    EXPECT_EQ(SplitStoredProgram(std::string("\x02\x00\x01", 3)).code, "");
    EXPECT_EQ(SplitStoredProgram(std::string("\x02\x00\x01", 3)).kind, PathShortcut::Kind::None);

    EXPECT_TRUE(ShortcutRunsValid(""));
    EXPECT_TRUE(ShortcutRunsValid("\x01"
                                  "a"
                                  "\x02"
                                  "bc"));
    EXPECT_FALSE(ShortcutRunsValid("\x01"
                                   "a"
                                   "\x03"
                                   "bc"));  // the last run runs past the end
    EXPECT_FALSE(ShortcutRunsValid("\x05"
                                   "abc"));
}

// Automaton paths answer from the table, their runs stored before their
// programs, as they answer from their own analysis.
TEST(PathTable, StoredRunsAnswerAsTheAnalysis) {
    Table t;
    const std::vector<std::string> paths = {"/*.*/ad[-_]?servers?", "/*.*/banners?/ads?/", "/ab?c{2}d"};
    const std::vector<std::string> requests = {"/x/adserver", "/server/ad", "/banner/ad/", "/accd", "/abcd", "/"};
    for (const std::string& path : paths) t.Add(path);
    t.table.Seal();
    EXPECT_TRUE(t.Matches(0, "/x/adserver"));
    for (uint32_t slot = 0; slot < paths.size(); ++slot) {
        const PathShortcut shortcut = testing::ShortcutFor(paths[slot]);
        for (const std::string& request : requests) {
            const bool analysed = ShortcutMatches(shortcut.kind, shortcut.program, shortcut.runs, request);
            EXPECT_EQ(t.Matches(slot, request), analysed) << paths[slot] << " " << request;
        }
    }
}

}  // namespace
}  // namespace tamsel
