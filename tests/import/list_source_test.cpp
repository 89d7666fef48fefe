// Hosts files, domain lists, telling the formats apart, refusing input that
// is no list, and the sections of the block list.
#include <gtest/gtest.h>

#include "imported_list.h"

namespace tamsel {
namespace {

using import::ListFormat;
using testing::ImportedList;

TEST(HostsImport, NullRoutedNamesAreBlockedAndTheRestIsSkipped) {
    const ImportedList list("# a hosts file\r\n127.0.0.1 localhost\r\n::1 ip6-localhost ip6-loopback\r\n"
                            "0.0.0.0 ads.example\r\n127.0.0.1\tt1.example t2.example  # two names\r\n"
                            "::1 v6.example.\r\n192.168.1.5 nas.example\r\n0.0.0.0 com\r\n0.0.0.0 bad/name\r\n");
    EXPECT_EQ(list.converted().format, ListFormat::Hosts);
    for (const char* url : {"http://ads.example/", "http://x.ads.example/a", "http://t1.example/", "http://t2.example/",
                            "http://v6.example/"})
        EXPECT_TRUE(list.Refuses(url)) << url;
    for (const char* url : {"http://localhost/", "http://nas.example/", "http://example.com/"})
        EXPECT_FALSE(list.Refuses(url)) << url;
    EXPECT_EQ(list.SkipReason(2), "the machine's own name");
    EXPECT_EQ(list.SkipReason(7), "maps to a real address");
    EXPECT_EQ(list.SkipReason(8), "a single label");
    EXPECT_EQ(list.SkipReason(9), "not a host name");
}

TEST(HostsImport, DomainListsTakeOneNameALine) {
    const ImportedList list("\xEF\xBB\xBF# domains\nads.example\n*.t.example\nTRACK.Example.ORG # note\n\n");
    EXPECT_EQ(list.converted().format, ListFormat::Domains);
    EXPECT_TRUE(list.Refuses("http://ads.example/"));
    EXPECT_TRUE(list.Refuses("http://t.example/"));
    EXPECT_TRUE(list.Refuses("http://a.t.example/"));
    EXPECT_TRUE(list.Refuses("http://track.example.org/"));
    EXPECT_FALSE(list.Refuses("http://example.org/"));
    EXPECT_EQ(list.converted().written(), 3u);
}

TEST(HostsImport, FormatIsToldFromTheLinesThatAreNotComments) {
    EXPECT_EQ(import::DetectFormat("# c\n0.0.0.0 a.example\n0.0.0.0 b.example\njunk\n"), ListFormat::Hosts);
    EXPECT_EQ(import::DetectFormat("a.example\nb.example\n"), ListFormat::Domains);
    EXPECT_EQ(import::DetectFormat("! list\na.example\nb.example\n"), ListFormat::Adblock);
    EXPECT_EQ(import::DetectFormat("||a.example^\nb.example\n"), ListFormat::Adblock);
    EXPECT_EQ(import::DetectFormat("[Adblock Plus 2.0]\n0.0.0.0 a.example\n0.0.0.0 b.example\n"),
              ListFormat::Hosts);  // the lines say more than the header
}

TEST(ImportInput, BinaryBytesAndHugeLinesAreNoList) {
    EXPECT_TRUE(import::CheckListInput("||a^\r\n\t||b^\f\n").ok());
    EXPECT_TRUE(import::CheckListInput("\xEF\xBB\xBF||caf\xC3\xA9.example^\n").ok());
    EXPECT_EQ(import::CheckListInput(std::string("||a^\n||b^\0\n", 10)).message(),
              "binary data on line 2: not a text list");
    EXPECT_EQ(import::CheckListInput("a\n\x7f"
                                     "ELF\n")
                  .message(),
              "binary data on line 2: not a text list");
    EXPECT_TRUE(import::CheckListInput("a\n" + std::string(import::kMaxSourceLine, 'x') + "\n").ok());
    EXPECT_EQ(import::CheckListInput("a\n" + std::string(100 * 1024, 'x')).message(),
              "line 2 is 102400 bytes long: not a list");
}

TEST(BlockListSections, ASectionIsAppendedOnceAndReplacedInPlace) {
    import::ConvertedSource one, two;
    one.blocks = {"one.example"};
    two.blocks = {"two.example"};
    two.exceptions = {"~two.example/ok/"};
    std::string list = "# our list\nours.example\n~ours.example/ok/";  // no final line feed
    EXPECT_TRUE(import::PutSection(&list, "a.txt", import::RenderSection("a.txt", "/x/a.txt", one)).ok());
    EXPECT_TRUE(import::PutSection(&list, "b.txt", import::RenderSection("b.txt", "/x/b.txt", one)).ok());
    const std::string b = list.substr(list.find("# >>> tamsel import: b.txt"));
    EXPECT_TRUE(import::PutSection(&list, "a.txt", import::RenderSection("a.txt", "/y/a.txt", two)).ok());
    EXPECT_TRUE(list.starts_with("# our list\nours.example\n~ours.example/ok/\n# >>> tamsel import: a.txt\n"));
    EXPECT_TRUE(list.ends_with(b)) << list;  // the other section stays, after the replaced one
    EXPECT_EQ(list.find("one.example", list.find("a.txt")), list.find("one.example", list.find("b.txt")));
    EXPECT_NE(list.find("two.example\n~two.example/ok/\n"), std::string::npos);
    const ListLoadResult loaded = ParsePatternListText(list, "merged");
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.value()->entries.size(), 5u);
}

TEST(BlockListSections, MarkersThatDoNotPairUpAreRefusedUntouched) {
    const std::string section = import::RenderSection("a", "a", import::ConvertedSource{});
    for (const std::string& broken :
         {std::string("x\n# >>> tamsel import: a\nx.example\n"), std::string("# <<< tamsel import: a\n"),
          std::string("# >>> tamsel import: a\n# >>> tamsel import: b\n# <<< tamsel import: b\n"),
          std::string("# >>> tamsel import: a\n# <<< tamsel import: b\n")}) {
        std::string list = broken;
        EXPECT_FALSE(import::PutSection(&list, "a", section).ok()) << broken;
        EXPECT_EQ(list, broken);
    }
}

// Two sources whose names are alike for longer than a marker holds keep a
// section each; a short name is its marker as it always was.
TEST(BlockListSections, LongNamesAlikeAtTheStartKeepTheirOwnSections) {
    const std::string stem(230, 'n');
    const std::string first = stem + "-first.txt", second = stem + "-second.txt";
    import::ConvertedSource one, two;
    one.blocks = {"one.example"};
    two.blocks = {"two.example"};
    std::string list;
    ASSERT_TRUE(import::PutSection(&list, first, import::RenderSection(first, first, one)).ok());
    ASSERT_TRUE(import::PutSection(&list, second, import::RenderSection(second, second, two)).ok());
    EXPECT_NE(list.find("one.example"), std::string::npos) << list;
    EXPECT_NE(list.find("two.example"), std::string::npos) << list;
    ASSERT_TRUE(import::PutSection(&list, first, import::RenderSection(first, first, {})).ok());
    EXPECT_EQ(list.find("one.example"), std::string::npos) << list;
    EXPECT_NE(list.find("two.example"), std::string::npos) << list;
    for (std::string_view line = list; !line.empty();) {
        const size_t end = line.find('\n');
        EXPECT_LE(end, kMaxPieceLength);
        line.remove_prefix(end + 1);
    }
    std::string shortNamed;
    ASSERT_TRUE(import::PutSection(&shortNamed, "a.txt", import::RenderSection("a.txt", "a.txt", one)).ok());
    EXPECT_TRUE(shortNamed.starts_with("# >>> tamsel import: a.txt\n")) << shortNamed;
}

TEST(BlockListSections, NamesAndNotesStayOneListLine) {
    const std::string name = "evil\nads.example\n" + std::string(900, 'n');
    import::ConvertedSource converted;
    converted.blocks = {"kept.example"};
    std::string list;
    ASSERT_TRUE(import::PutSection(&list, name, import::RenderSection(name, name, converted)).ok());
    const ListLoadResult loaded = ParsePatternListText(list, "named");
    ASSERT_TRUE(loaded.ok());
    ASSERT_EQ(loaded.value()->entries.size(), 1u) << list;
    EXPECT_EQ(loaded.value()->Text(loaded.value()->entries[0]), "kept.example");
    // The same awkward name finds its section again.
    EXPECT_TRUE(import::PutSection(&list, name, import::RenderSection(name, name, {})).ok());
    EXPECT_EQ(list.find("kept.example"), std::string::npos);
}

}  // namespace
}  // namespace tamsel
