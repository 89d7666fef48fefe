// Which names a resolver may refuse, held to the lookup gate's own verdicts.
#include "export/resolver_names.h"

#include <gtest/gtest.h>

#include "intercept/lookup.h"
#include "support/lcg.h"
#include "support/list_set.h"
#include "support/random_lines.h"
#include "export/name_universe.h"

namespace tamsel {
namespace {

using testing::AllNames;
using testing::IsBelow;
using testing::MakeLists;
using testing::Refused;

size_t LeftOut(const RefusedNames& names, LeftOutReason reason) { return names.leftOut[static_cast<size_t>(reason)]; }

const RefusedName* Find(const RefusedNames& names, const std::string& name) {
    for (const RefusedName& n : names.names) {
        if (n.name == name) return &n;
    }
    return nullptr;
}

TEST(CollectRefusedNames, LinesNoLookupCanDecideAreCountedByReason) {
    const auto lists =
        MakeLists("", "", "ad*.x.net\nads.*.net\nport.y:8080\npath.y/p\n/banners/\n1.2.3.4\nbad$.y\n*.*.z\n");
    const RefusedNames names = CollectRefusedNames(lists.view());
    EXPECT_TRUE(names.names.empty());
    EXPECT_EQ(LeftOut(names, LeftOutReason::WildcardInLabel), 3u);  // "*.*." says two labels or more
    EXPECT_EQ(LeftOut(names, LeftOutReason::Port), 1u);
    EXPECT_EQ(LeftOut(names, LeftOutReason::Path), 2u);
    EXPECT_EQ(LeftOut(names, LeftOutReason::NotAHostName), 2u);
}

TEST(CollectRefusedNames, AHostLineGivesTheNameAndEverythingBelowIt) {
    const auto lists = MakeLists("", "Mine.Example\n", "tracker.example\n*.wild.example\ntracker.example\n");
    const RefusedNames names = CollectRefusedNames(lists.view());
    ASSERT_EQ(names.names.size(), 3u);
    EXPECT_EQ(names.names[0].name, "mine.example");  // lower-cased, sorted, once each
    EXPECT_TRUE(names.names[0].self && names.names[0].below);
    EXPECT_TRUE(names.names[1].self && names.names[1].below);
    EXPECT_EQ(names.names[2].name, "wild.example");
    EXPECT_FALSE(names.names[2].self);  // "*." reaches only the names below
    EXPECT_TRUE(names.names[2].below);
}

TEST(CollectRefusedNames, TrustAndExceptionLinesKeepNamesInUse) {
    const auto lists = MakeLists("good.mixed.example\nok.example\n", "ok.example\n",
                                 "kept.example\n~kept.example/ok\nmixed.example\n"
                                 "ex.example\n~a.b.ex.example:81\nstar.example\n~ad*.star.example\n"
                                 "*.w.example\n~*.w.example/x\n");
    const RefusedNames names = CollectRefusedNames(lists.view());
    EXPECT_EQ(Find(names, "kept.example"), nullptr);  // an exception with a path keeps the name
    EXPECT_EQ(Find(names, "ok.example"), nullptr);    // a trust line beats the user's own block line
    EXPECT_EQ(Find(names, "w.example"), nullptr);
    EXPECT_EQ(LeftOut(names, LeftOutReason::KeptInUse), 3u);
    for (const char* narrowed : {"mixed.example", "ex.example", "star.example"}) {
        const RefusedName* n = Find(names, narrowed);
        ASSERT_NE(n, nullptr) << narrowed;
        EXPECT_TRUE(n->self) << narrowed;
        EXPECT_FALSE(n->below) << narrowed;  // a name below stays in use
    }
    EXPECT_EQ(names.keptBelow, 3u);
}

TEST(CollectRefusedNames, KeepersThatLoseToALaterBlockLineTakeNothingAway) {
    // Exceptions act only within their own list, and only above the line
    // they stand before; the trust line's name is refused by nothing.
    const auto lists = MakeLists("other.example\n", "~a.t.example\n~ad*.t.example\n",
                                 "~b.t.example\n~ad*.t.example\nt.example\nb.t.example\n");
    const RefusedNames names = CollectRefusedNames(lists.view());
    const RefusedName* t = Find(names, "t.example");
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->self && t->below);
    EXPECT_EQ(names.keptBelow, 0u);
}

TEST(CollectRefusedNames, NamesTheLinesWithoutAHostThatKeepEveryName) {
    const auto lists = MakeLists("/ok/\n", "", "ads.example\n~/keep/\n*.example/x\n");
    const RefusedNames names = CollectRefusedNames(lists.view());
    EXPECT_TRUE(names.names.empty());
    EXPECT_EQ(names.hostlessKeepers, (std::vector<std::string>{"list.txt:1: /ok/", "list.txt:2: ~/keep/"}));
}

TEST(IsResolverName, TakesPlainLabelsOnly) {
    EXPECT_TRUE(IsResolverName("a-b_c.example"));
    EXPECT_TRUE(IsResolverName(std::string(63, 'a') + ".x"));
    EXPECT_FALSE(IsResolverName(std::string(64, 'a') + ".x"));
    EXPECT_FALSE(IsResolverName("a..b"));
    EXPECT_FALSE(IsResolverName("a.b."));
    EXPECT_FALSE(IsResolverName("a\"b"));
    EXPECT_FALSE(IsResolverName("A.b"));  // names arrive lower-cased
    EXPECT_FALSE(IsResolverName(""));
}

// What a host line reaches, when a resolver can say it: "name" or "*.name".
std::optional<std::pair<std::string, bool>> Expressible(std::string_view host) {
    const bool belowOnly = host.rfind("*.", 0) == 0;
    const std::string name(belowOnly ? host.substr(2) : host);
    if (name.empty() || name.find('*') != std::string::npos) return std::nullopt;
    return std::make_pair(name, belowOnly);
}

// The names collected claim nothing the gate passes, and leave out nothing
// it refuses through a line a resolver can say, unless a name below is kept.
TEST(CollectRefusedNames, AgreesWithTheLookupGateOnRandomLists) {
    const char* ports[] = {"", "", ":80"};
    const char* paths[] = {"", "", "", "/p"};
    const std::vector<std::string> universe = AllNames();
    testing::Lcg next(1607);
    for (int round = 0; round < 300; ++round) {
        auto random = [&](int lines) { return testing::RandomHostLines(next, lines, ports, paths); };
        const auto owned = MakeLists(next(3) == 0 ? random(2) : "", random(6), random(12));
        const ListSet lists = owned.view();
        const RefusedNames names = CollectRefusedNames(lists);
        for (const RefusedName& n : names.names) {
            if (n.self) {
                EXPECT_TRUE(Refused(n.name, lists)) << "round " << round << ": " << n.name;
            }
            bool witness = false;
            for (const std::string& name : universe) {
                if (!IsBelow(name, n.name)) continue;
                if (n.below) {
                    EXPECT_TRUE(Refused(name, lists)) << "round " << round << ": " << name;
                }
                witness = witness || !Refused(name, lists);
            }
            // A narrowed name has a name below it that the gate lets through.
            if (n.self && !n.below) {
                EXPECT_TRUE(witness) << "round " << round << ": " << n.name;
            }
        }
        for (const std::string& name : universe) {
            const Judgement j = InspectLookupWith(name, lists);
            if (j.verdict != Verdict::Refused) continue;
            const auto said = Expressible(j.list->Host(*j.entry));
            if (!said) continue;
            const RefusedName* n = Find(names, said->first);
            if (name == said->first) {
                EXPECT_TRUE(n != nullptr && n->self) << "round " << round << ": " << name;
                continue;
            }
            if (n != nullptr && n->below) continue;
            // Left out below: only because some name below is kept in use.
            bool witness = false;
            for (const std::string& other : universe)
                witness = witness || (IsBelow(other, said->first) && !Refused(other, lists));
            EXPECT_TRUE(witness) << "round " << round << ": " << name << " under " << n->name;
        }
    }
}

}  // namespace
}  // namespace tamsel
