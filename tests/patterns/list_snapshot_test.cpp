#include "patterns/list_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "patterns/matcher.h"
#include "support/list_set.h"
#include "support/string_storage.h"

namespace tamsel {
namespace {

const ListTextKey kKey{7, 42};

std::string ShippedListText() {
    std::ifstream in(TAMSEL_SOURCE_DIR "/lists/BlockList.txt", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The shipped list and lines that land in every part of the index: plain
// hosts, wildcard labels, ports, paths of every kind, exceptions.
std::string SampleText() {
    return ShippedListText() +
           "ads.example.com\n~good.ads.example.com\n*.track.*/px\nad*.*.net:8080\n"
           "/*.*/banner[0-9]+\\.gif\n~/*.*/keep/\nimg.example.org/ads/\n:8443\nwww.*.example/(a|b)/x\n";
}

std::unique_ptr<PatternList> Restore(const std::string& snapshot, const ListTextKey& key = kKey) {
    return ListFromSnapshot(std::make_unique<testing::StringStorage>(snapshot), key, "restored.txt");
}

// The line number that decides each URL, 0 for none; negative for an exception.
std::vector<int> Decisions(const PatternList& list) {
    std::vector<int> out;
    for (const char* url : {"http://ads.example.com/", "http://good.ads.example.com/x", "http://a.track.b/px?1",
                            "http://adx.q.net:8080/", "http://adx.q.net/", "http://x.y/banner77.gif",
                            "http://x.y/keep/banner7.gif", "http://img.example.org/ads/1.png", "http://z.z:8443/",
                            "http://www.q.example/b/x", "http://www.q.example/c/x", "http://ad.doubleclick.net/",
                            "http://www.example.org/index.html", "http://www.q.example/ads/adframe.js"}) {
        RequestUrl request;
        ParseRequestUrl(url, nullptr, &request);
        const PatternEntry* entry = testing::DecidingEntry(&list, request);
        const int line = entry == nullptr ? 0 : list.LineNumber(*entry);
        out.push_back(entry != nullptr && entry->positive == 0 ? -line : line);
    }
    return out;
}

TEST(ListSnapshot, ARestoredListHoldsAndDecidesWhatTheParsedOneDid) {
    const auto parsed = ParsePatternListText(SampleText(), "sample.txt").value();
    ASSERT_TRUE(parsed);
    const auto restored = Restore(ListSnapshotBytes(*parsed, kKey));
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->source, "restored.txt");
    ASSERT_EQ(restored->entries.size(), parsed->entries.size());
    for (size_t i = 0; i < parsed->entries.size(); ++i) {
        const PatternEntry& a = parsed->entries[i];
        const PatternEntry& b = restored->entries[i];
        ASSERT_EQ(restored->Text(b), parsed->Text(a)) << i;
        ASSERT_EQ(restored->LineNumber(b), parsed->LineNumber(a));
        ASSERT_EQ(restored->Port(b), parsed->Port(a));
        ASSERT_EQ(b.positive, a.positive);
        ASSERT_EQ(restored->Path(b), parsed->Path(a));
    }
    const std::vector<int> expected = Decisions(*parsed);
    EXPECT_EQ(Decisions(*restored), expected);
    EXPECT_GE(std::count_if(expected.begin(), expected.end(), [](int d) { return d != 0; }), 9);
    // The arrays are read in place: the restored list owns little of its own.
    EXPECT_LT(restored->index.bytes(), parsed->index.bytes() / 4);
}

TEST(ListSnapshot, AnythingButTheWholeSnapshotOfTheSameListIsRefused) {
    const auto parsed = ParsePatternListText(SampleText(), "sample.txt").value();
    ASSERT_TRUE(parsed);
    const std::string snapshot = ListSnapshotBytes(*parsed, kKey);
    EXPECT_FALSE(Restore(snapshot, ListTextKey{7, 43}));  // made from another text
    EXPECT_FALSE(Restore(snapshot, ListTextKey{8, 42}));
    EXPECT_FALSE(Restore(""));
    for (size_t cut = 0; cut < snapshot.size(); cut += 1 + cut / 3) {
        EXPECT_FALSE(Restore(snapshot.substr(0, cut))) << "cut at " << cut;
    }
    EXPECT_FALSE(Restore(snapshot + std::string(8, '\0')));
    for (size_t at = 0; at < snapshot.size(); at += 61) {
        std::string damaged = snapshot;
        damaged[at] ^= 0x20;
        EXPECT_FALSE(Restore(damaged)) << "byte " << at << " flipped";
    }
}

// Snapshots whose checksum holds but whose arrays point outside themselves.
TEST(ListSnapshot, OffsetsOutsideTheArraysAreRefusedEvenUnderAValidChecksum) {
    const auto parsed = ParsePatternListText("a.example/x/\nb.example\n~c.example/y\n", "small.txt").value();
    ASSERT_TRUE(parsed);
    const std::string whole = ListSnapshotBytes(*parsed, kKey);
    const std::string payload = whole.substr(40);
    ASSERT_TRUE(Restore(SealedSnapshot(payload, kKey)));
    // The payload opens with the text's count, the text padded to eight
    // bytes, then the entries' count and the entries.
    const size_t entries = 8 + (parsed->text.size() + 7) / 8 * 8 + 8;
    const auto patched = [&](size_t field, uint32_t value) {
        std::string p = payload;
        std::memcpy(&p[entries + field], &value, sizeof value);
        return Restore(SealedSnapshot(p, kKey));
    };
    EXPECT_FALSE(patched(offsetof(PatternEntry, textOffset), 1000));
    EXPECT_FALSE(patched(offsetof(PatternEntry, pathSlot), 7));
    EXPECT_FALSE(patched(8, 5 | 100 << 10 | 1 << 20));  // a host of 100 bytes in a text of 5
    // The line numbers follow the entries: a first run that does not start
    // at the first entry leaves entries without a number.
    const size_t lines = entries + (parsed->entries.size() * sizeof(PatternEntry) + 7) / 8 * 8 + 8;
    EXPECT_FALSE(patched(lines - entries, 1));
    // A count larger than the bytes that follow.
    std::string badCount = payload;
    const uint64_t huge = uint64_t{1} << 40;
    std::memcpy(&badCount[0], &huge, sizeof huge);
    EXPECT_FALSE(Restore(SealedSnapshot(badCount, kKey)));
}

}  // namespace
}  // namespace tamsel

namespace tamsel {
namespace {

// Snapshots store the index's keys. Should the making of a key change, the
// snapshot format (kFormat in patterns/list_snapshot.cpp) must be raised
// with it, or a snapshot written before would be read with keys that no
// lookup finds any more: then raise it and put the new values here.
TEST(ListSnapshot, TheIndexKeysAreThoseTheFormatWasMadeWith) {
    EXPECT_EQ(HashHostLabel("Example"), 3956055125u);
    EXPECT_EQ(ExtendSuffixKey(ExtendSuffixKey(0, HashHostLabel("com")), HashHostLabel("example")), 95528530u);
    EXPECT_EQ(HostLabelKey(2, "ads"), 1484279286u);
    EXPECT_EQ(HostPrefixKey(3, "Ad"), 1228152680u);
    EXPECT_EQ(MixKey(12345), 1011272156u);
    EXPECT_EQ(PathGram(PathGram(PathGram(PathGram(0, '/'), 'a'), 'd'), 's'), 1935958319u);
    EXPECT_EQ(PathGramSet::BitOf(0x736461), 307u);
}

}  // namespace
}  // namespace tamsel
