// The four forms a resolver reads, and the zone's serial.
#include "export/resolver_formats.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "export/name_universe.h"
#include "support/lcg.h"
#include "support/list_set.h"
#include "support/random_lines.h"

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
              std::string::npos)
        << z.text;
    EXPECT_NE(z.text.find("\nmixed.example CNAME .\n"
                          "tracker.example CNAME .\n*.tracker.example CNAME .\n"
                          "*.wild.example CNAME .\n"),
              std::string::npos)
        << z.text;
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
    const std::string report =
        ExportReport(names, WriteResolverText(names, ResolverFormat::Hosts, 0), ResolverFormat::Hosts);
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

// What a resolver reading the text refuses: names alone, names with
// everything below them, and (rpz wildcards) only the names below.
struct Said {
    std::set<std::string> alone, whole, below;

    bool Refuses(const std::string& name) const {
        if (alone.count(name) || whole.count(name)) return true;
        for (size_t dot = name.find('.'); dot != std::string::npos; dot = name.find('.', dot + 1)) {
            const std::string parent = name.substr(dot + 1);
            if (whole.count(parent) || below.count(parent)) return true;
        }
        return false;
    }
};

Said Read(const std::string& text, ResolverFormat format) {
    Said said;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first, second;
        words >> first >> second;
        if (format == ResolverFormat::Rpz && second == "CNAME") {
            if (first.starts_with("*.")) said.below.insert(first.substr(2));
            else said.alone.insert(first);
        } else if (format == ResolverFormat::Unbound) {
            said.whole.insert(second.substr(1, second.size() - 3));  // "name." in quotes
        } else if (format == ResolverFormat::Dnsmasq) {
            said.whole.insert(first.substr(9, first.size() - 10));  // address=/name/
        } else if (format == ResolverFormat::Hosts) {
            said.alone.insert(second);
        }
    }
    return said;
}

// Every format, on random lists: what a resolver would refuse, the gate
// refuses; and every collected name is either said or counted as left out.
TEST(WriteResolverText, EveryFormatRefusesOnlyWhatTheGateRefusesOnRandomLists) {
    const char* ports[] = {"", "", ":80"};
    const char* paths[] = {"", "", "", "/p"};
    const std::vector<std::string> universe = testing::AllNames();
    testing::Lcg next(2112);
    for (int round = 0; round < 200; ++round) {
        auto random = [&](int lines) { return testing::RandomHostLines(next, lines, ports, paths); };
        const auto owned = MakeLists(next(3) == 0 ? random(2) : "", random(6), random(12));
        const RefusedNames names = CollectRefusedNames(owned.view());
        for (const ResolverFormat format :
             {ResolverFormat::Rpz, ResolverFormat::Unbound, ResolverFormat::Dnsmasq, ResolverFormat::Hosts}) {
            const ResolverText written = WriteResolverText(names, format, 1);
            const FormatCounts& c = written.counts;
            EXPECT_EQ(c.written + c.underParent + c.belowKept + c.onlyBelow, names.names.size()) << round;
            const Said said = Read(written.text, format);
            for (const std::string& name : universe) {
                if (said.Refuses(name)) {
                    EXPECT_TRUE(testing::Refused(name, owned.view())) << "round " << round << ": " << name;
                }
            }
            // Each collected name the format can hold is said, with what is below it where it can.
            for (const RefusedName& n : names.names) {
                const bool holds = format == ResolverFormat::Rpz     ? true
                                   : format == ResolverFormat::Hosts ? n.self
                                                                     : n.self && n.below;
                if (holds && n.self) {
                    EXPECT_TRUE(said.Refuses(n.name)) << "round " << round << ": " << n.name;
                }
                if (holds && n.below && format != ResolverFormat::Hosts) {
                    EXPECT_TRUE(said.Refuses("q." + n.name)) << "round " << round << ": " << n.name;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tamsel
