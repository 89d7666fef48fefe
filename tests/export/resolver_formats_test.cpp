// The four forms a resolver reads, and the zone's serial.
#include "export/resolver_formats.h"

#include <gtest/gtest.h>

#include "support/list_set.h"

namespace tamsel {
namespace {

using testing::MakeLists;

// Lines that give each kind of name: whole subtrees, a name whose subtree is
// kept in part, a name refused only below, and a name under a whole subtree.
RefusedNames Sample() {
    const auto lists = MakeLists("good.mixed.example\n", "",
                                 "tracker.example\nsub.tracker.example\nmixed.example\n*.wild.example\nad*.x.net\n");
    return CollectRefusedNames(lists.view());
}

TEST(WriteResolverText, RpzAnswersNoSuchNameForTheNameAndBelowIt) {
    const ResolverText z = WriteResolverText(Sample(), ResolverFormat::Rpz, 1234);
    EXPECT_NE(z.text.find("@ IN SOA localhost. root.localhost. 1234 3600 600 86400 300\n@ IN NS localhost.\n"),
              std::string::npos) << z.text;
    EXPECT_NE(z.text.find("\nmixed.example CNAME .\n"
                          "tracker.example CNAME .\n*.tracker.example CNAME .\n"
                          "*.wild.example CNAME .\n"), std::string::npos) << z.text;
    EXPECT_EQ(z.text.find("*.mixed"), std::string::npos);  // good.mixed.example is trusted
    EXPECT_EQ(z.text.find("sub.tracker"), std::string::npos);
    EXPECT_EQ(z.counts.written, 3u);
    EXPECT_EQ(z.counts.records, 4u);
    EXPECT_EQ(z.counts.underParent, 1u);
}

TEST(WriteResolverText, UnboundAndDnsmasqWriteOnlyWholeSubtrees) {
    const ResolverText u = WriteResolverText(Sample(), ResolverFormat::Unbound, 0);
    EXPECT_EQ(u.text, "local-zone: \"tracker.example.\" always_nxdomain\n");
    const ResolverText d = WriteResolverText(Sample(), ResolverFormat::Dnsmasq, 0);
    EXPECT_EQ(d.text, "address=/tracker.example/\n");
    for (const ResolverText* t : {&u, &d}) {
        EXPECT_EQ(t->counts.written, 1u);
        EXPECT_EQ(t->counts.belowKept, 1u);  // mixed.example: would refuse good.mixed.example
        EXPECT_EQ(t->counts.onlyBelow, 1u);  // wild.example: would refuse the name itself
        EXPECT_EQ(t->counts.underParent, 1u);
    }
}

TEST(WriteResolverText, HostsListsEveryNameAndCountsTheSubtreesItLoses) {
    const ResolverText h = WriteResolverText(Sample(), ResolverFormat::Hosts, 0);
    EXPECT_EQ(h.text, "0.0.0.0 mixed.example\n0.0.0.0 sub.tracker.example\n0.0.0.0 tracker.example\n");
    EXPECT_EQ(h.counts.belowUncovered, 2u);
    EXPECT_EQ(h.counts.onlyBelow, 1u);
    EXPECT_EQ(h.counts.underParent, 0u);
}

TEST(WriteResolverText, NoNamesGiveAValidZoneAndEmptyLists) {
    const auto lists = MakeLists("", "", "/banners/\n");
    const RefusedNames none = CollectRefusedNames(lists.view());
    const ResolverText z = WriteResolverText(none, ResolverFormat::Rpz, 7);
    EXPECT_EQ(ZoneSerialOf(z.text), 7u);
    EXPECT_EQ(z.counts.written, 0u);
    EXPECT_EQ(WriteResolverText(none, ResolverFormat::Hosts, 0).text, "");
}

TEST(WriteResolverText, TheReportCountsEveryReason) {
    const RefusedNames names = Sample();
    const std::string report = ExportReport(names, WriteResolverText(names, ResolverFormat::Hosts, 0),
                                            ResolverFormat::Hosts);
    EXPECT_NE(report.find("names written: 3 (3 records)\n"), std::string::npos) << report;
    EXPECT_NE(report.find("  a \"*\" inside a label or below the front: 1\n"), std::string::npos) << report;
    EXPECT_NE(report.find("a hosts file cannot cover: 2\n"), std::string::npos) << report;
}

TEST(ZoneSerial, ReadsTheSoaAndGrowsOnEveryExport) {
    EXPECT_EQ(ZoneSerialOf("; c\n$TTL 300\n@ IN SOA ns. root. 2024010101 3600 600 86400 300\n"), 2024010101u);
    EXPECT_EQ(ZoneSerialOf("@ SOA ns. root. ( 5 1 2 3 4 )\n"), std::nullopt);  // "(" is not a serial
    EXPECT_EQ(ZoneSerialOf("; @ IN SOA ns. root. 9 1 2 3 4\nx CNAME .\n"), std::nullopt);
    EXPECT_EQ(ZoneSerialOf("@ IN SOA ns. root. 99999999999 1 2 3 4\n"), std::nullopt);
    EXPECT_EQ(ZoneSerialOf(""), std::nullopt);
    EXPECT_EQ(NextZoneSerial(std::nullopt, 1700000000), 1700000000u);
    EXPECT_EQ(NextZoneSerial(1700000000u, 1700000000), 1700000001u);  // twice in one second
    EXPECT_EQ(NextZoneSerial(1800000000u, 1700000000), 1800000001u);  // a clock set back
    EXPECT_EQ(NextZoneSerial(5u, 1700000000), 1700000000u);
    EXPECT_EQ(NextZoneSerial(UINT32_MAX, 1700000000), 1u);
}

}  // namespace
}  // namespace tamsel
