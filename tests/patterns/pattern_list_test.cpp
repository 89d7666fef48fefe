#include "patterns/pattern_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/lcg.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

std::unique_ptr<PatternList> Parse(const std::string& text) { return ParsePatternListText(text, "test.txt").value(); }

TEST(LoadPatternList, CleansCommentsSpacesAndCase) {
    const auto list = Parse("Ad.X.Y   # comment\n");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 1u);
    const PatternEntry& e = list->entries[0];
    EXPECT_EQ(list->Text(e), "Ad.X.Y");
    EXPECT_EQ(list->Host(e), "Ad.X.Y");
    EXPECT_TRUE(MatchHostPattern(list->Host(e), SplitHostLabels("b.ad.x.y")));
    EXPECT_FALSE(MatchHostPattern(list->Host(e), SplitHostLabels("x.y")));
    EXPECT_FALSE(list->Path(e));
    EXPECT_FALSE(e.hasPath());
    EXPECT_EQ(list->Port(e), 0);
    EXPECT_TRUE(e.positive);
    EXPECT_EQ(list->LineNumber(e), 1);

    const auto spaced = Parse(" a . b \t. c /x  y\r\n");
    EXPECT_EQ(spaced->Host(spaced->entries[0]), "a.b.c");
    EXPECT_EQ(spaced->Path(spaced->entries[0]), "/xy");
}

TEST(LoadPatternList, SplitsHostPortAndPath) {
    const auto list = Parse("~ad.x/keep/\n:8080\nad.x:8080/banners\n/ads/\n/a:80\n");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 5u);
    const PatternEntry& exception = list->entries[4];
    EXPECT_EQ(list->Host(exception), "ad.x");
    EXPECT_EQ(list->Path(exception), "/keep/");
    EXPECT_FALSE(exception.positive);
    EXPECT_EQ(list->Text(exception), "ad.x/keep/");

    const PatternEntry& portOnly = list->entries[3];
    EXPECT_EQ(list->Host(portOnly), "");
    EXPECT_EQ(list->Port(portOnly), 8080);
    EXPECT_FALSE(list->Path(portOnly));

    const PatternEntry& full = list->entries[2];
    EXPECT_EQ(list->Host(full), "ad.x");
    EXPECT_EQ(list->Port(full), 8080);
    EXPECT_EQ(list->Path(full), "/banners");

    EXPECT_EQ(list->Host(list->entries[1]), "");
    EXPECT_EQ(list->Path(list->entries[1]), "/ads/");
    EXPECT_EQ(list->Path(list->entries[0]), "/a:80");  // a colon inside the path sets no port
    EXPECT_EQ(list->Port(list->entries[0]), 0);
}

TEST(LoadPatternList, ChainRunsFromTheLastLineToTheFirst) {
    const auto list = Parse("A\nB\r\nC");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 3u);
    EXPECT_EQ(list->Text(list->entries[0]), "C");
    EXPECT_EQ(list->LineNumber(list->entries[0]), 3);
    EXPECT_EQ(list->Text(list->entries[2]), "A");
}

// Entries keep no line number of their own: it is worked out from where the
// numbering jumps (comments, blank lines) or stands still (pieces).
TEST(LoadPatternList, LineNumbersAcrossCommentsBlanksAndPieces) {
    using namespace std::string_literals;
    const std::string longLine = "long.x/" + std::string(kMaxPieceLength, 'q');
    const auto list = Parse("# head\n\na.x\n  ~b.x/p  \r\n# c\n\0nul\n"s + longLine + "\nc.x:81/q#x\nd.x");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 6u);
    const auto at = [&](size_t fromEnd) -> const PatternEntry& {
        return list->entries[list->entries.size() - 1 - fromEnd];
    };
    const std::vector<std::pair<std::string, int>> expected = {
        {"a.x", 3},      {"b.x/p", 4}, {longLine.substr(0, kMaxPieceLength), 7}, {longLine.substr(kMaxPieceLength), 7},
        {"c.x:81/q", 8}, {"d.x", 9}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(list->Text(at(i)), expected[i].first) << i;
        EXPECT_EQ(list->LineNumber(at(i)), expected[i].second) << i;
    }
    EXPECT_FALSE(at(1).positive);
    EXPECT_EQ(list->Path(at(1)), "/p");
    EXPECT_EQ(list->Port(at(4)), 81);
    EXPECT_EQ(list->Path(at(4)), "/q");
    EXPECT_EQ(list->Host(at(4)), "c.x");
}

// A file written with CR alone at the ends of its lines (as old Mac editors
// write them) has as many lines as one written with LF, and a CR LF pair
// ends one line, not two.
TEST(LoadPatternList, ALoneCrEndsALine) {
    const auto list = Parse("a.x\rb.x # note\r\r~c.x/p\r\nd.x\n\re.x");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 5u);
    const std::vector<std::pair<std::string, int>> expected = {
        {"a.x", 1}, {"b.x", 2}, {"c.x/p", 4}, {"d.x", 5}, {"e.x", 7}};
    for (size_t i = 0; i < expected.size(); ++i) {
        const PatternEntry& e = list->entries[expected.size() - 1 - i];
        EXPECT_EQ(list->Text(e), expected[i].first) << i;
        EXPECT_EQ(list->LineNumber(e), expected[i].second) << i;
    }
}

// Random text of the bytes the cleaning treats specially, in every place of
// the eight-byte words it moves, against a byte-by-byte reading of the rules:
// pieces of at most 511 bytes, each cut at its first CR, LF, NUL or "#",
// white space dropped, a leading "~" taken off. A line ends at its first CR
// or LF, and an LF right after that CR belongs to the same line end.
TEST(LoadPatternList, CleaningAgreesWithAByteByByteReading) {
    const char alphabet[] = {'a', 'b', '.', ' ', '\t', '\v', '#', '\r', '\n', '\0', '~', ':', '8', 'Z', '\f', '-'};
    testing::Lcg next(5);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const uint32_t length = next(2) ? next(64) : next(1400);
        for (uint32_t i = 0; i < length; ++i) text.push_back(next(3) ? alphabet[next(3)] : alphabet[next(16)]);
        std::vector<std::pair<std::string, int>> expected;
        int line = 1;
        for (size_t pos = 0; pos < text.size();) {
            const size_t pieceEnd = std::min(text.size(), pos + kMaxPieceLength);
            const size_t lineEnd = std::min(text.find_first_of("\r\n", pos), pieceEnd);
            const bool ended = lineEnd < pieceEnd;
            size_t end = ended ? lineEnd + 1 : pieceEnd;
            if (ended && text[lineEnd] == '\r' && end < text.size() && text[end] == '\n') ++end;
            std::string cleaned;
            for (size_t i = pos;
                 i < end && std::string_view("\r\n#", 3).find(text[i]) == std::string_view::npos && text[i] != '\0';
                 ++i) {
                if (std::string_view(" \t\n\v\f\r").find(text[i]) == std::string_view::npos) cleaned += text[i];
            }
            if (!cleaned.empty() && cleaned[0] == '~') cleaned.erase(0, 1);
            if (!cleaned.empty()) expected.emplace_back(cleaned, line);
            line += ended;
            pos = end;
        }
        const auto list = ParsePatternListText(text, "random").value();
        ASSERT_TRUE(list);
        ASSERT_EQ(list->entries.size(), expected.size()) << round;
        for (size_t i = 0; i < expected.size(); ++i) {
            const PatternEntry& e = list->entries[expected.size() - 1 - i];
            ASSERT_EQ(list->Text(e), expected[i].first) << round << " entry " << i;
            ASSERT_EQ(list->LineNumber(e), expected[i].second) << round << " entry " << i;
        }
    }
}

TEST(LoadPatternList, SkipsLinesWithNoPattern) {
    const auto list = Parse("\n   \n# only a comment\n~\n  ~  # lone tilde\n\t\n");
    ASSERT_TRUE(list);  // empty, not null
    EXPECT_TRUE(list->entries.empty());
    ASSERT_TRUE(Parse(""));
}

TEST(LoadPatternList, OneBadPathFailsTheWholeList) {
    std::string text;
    for (int i = 1; i <= 9; ++i) text += "host" + std::to_string(i) + ".x\n";
    text += "x/ads/(\nlast.x\n";
    const ListLoadResult result = ParsePatternListText(text, "t.txt");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().lineNumber, 10);
    EXPECT_NE(result.message().find("/ads/("), std::string::npos);
}

TEST(LoadPatternList, LongLinesFallIntoPiecesOf511) {
    const std::string line(600, 'a');
    const auto list = Parse(line + "\nnext\n");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->entries.size(), 3u);
    EXPECT_EQ(list->Text(list->entries[2]).size(), 511u);
    EXPECT_EQ(list->Text(list->entries[1]).size(), 89u);
    EXPECT_EQ(list->LineNumber(list->entries[1]), 1);  // both pieces come from line 1
    EXPECT_EQ(list->LineNumber(list->entries[0]), 2);

    // A line of exactly 511 characters and its line end make one pattern.
    const auto exact = Parse(std::string(511, 'b') + "\r\nc\n");
    ASSERT_EQ(exact->entries.size(), 2u);
}

TEST(LoadPatternList, DotsOnlyHostsHaveNoLabels) {
    const auto list = Parse(".x\nx.\n...\n");
    ASSERT_EQ(list->entries.size(), 3u);
    const HostLabels x = SplitHostLabels("x");
    const HostLabels ax = SplitHostLabels("a.x");
    const HostLabels y = SplitHostLabels("y");
    for (int i : {1, 2}) {
        const std::string_view host = list->Host(list->entries[i]);
        EXPECT_TRUE(MatchHostPattern(host, x) && MatchHostPattern(host, ax)) << host;
        EXPECT_FALSE(MatchHostPattern(host, y)) << host;
    }
    EXPECT_EQ(list->Host(list->entries[0]), "...");
    EXPECT_TRUE(MatchHostPattern("...", y));
}

TEST(LoadPatternList, PortsReadAsAtoiAndSaturate) {
    const auto list = Parse("a:abc\nb:99999999999999\nc:+81x\n");
    EXPECT_EQ(list->Port(list->entries[2]), 0);
    EXPECT_EQ(list->Port(list->entries[1]), 2147483647);
    EXPECT_EQ(list->Port(list->entries[0]), 81);
}

TEST(LoadPatternList, FromFilesOnDisk) {
    testing::TempDir dir;
    const ListLoadResult missing = LoadPatternListChecked((dir.path() / "missing.txt").string());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.failure().lineNumber, 0);

    const std::string file = dir.Write("l.txt", "one.x\ntwo.x/p\n");
    auto first = LoadPatternListChecked(file).value();
    auto second = LoadPatternListChecked(file).value();
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->source, file);
    first.reset();
    // The second load is independent of the first.
    ASSERT_EQ(second->entries.size(), 2u);
    EXPECT_EQ(second->Text(second->entries[0]), "two.x/p");
}

// Files are read whole, byte for byte, in one read of the size they claim;
// a folder, which claims a size that is none, is an error and not an
// attempt to allocate that size.
TEST(ReadFileBuffer, ReadsEveryByteAndRefusesFolders) {
    testing::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes.push_back(static_cast<char>(i * 7 % 256));
    const Result<ByteBuffer> read = ReadFileBuffer(dir.Write("b.bin", bytes));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->view(), bytes);
    const Result<ByteBuffer> empty = ReadFileBuffer(dir.Write("e.txt", ""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->size(), 0u);

    const Result<std::string> folderBytes = ReadFileBytes(dir.path().string());
    ASSERT_FALSE(folderBytes);
    EXPECT_NE(folderBytes.failure().errorNumber, 0);
    const ListLoadResult folder = LoadPatternListChecked(dir.path().string());
    ASSERT_FALSE(folder.ok());
    EXPECT_NE(folder.message(), "out of memory");
}

}  // namespace
}  // namespace tamsel
