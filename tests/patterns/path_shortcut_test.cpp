#include "patterns/path_shortcut.h"

#include <gtest/gtest.h>
#include <regex.h>

#include <algorithm>
#include <bit>
#include <clocale>
#include <fstream>
#include <string>
#include <vector>

#include "patterns/text.h"
#include "support/lcg.h"
#include "support/list_path.h"

namespace tamsel {
namespace {

TEST(PathProgram, GlobShapedPatterns) {
    const auto program = [](const char* path) {
        const PathShortcut s = testing::ShortcutFor(path);
        return s.kind == PathShortcut::Kind::Glob ? s.program : std::string("(automaton)");
    };
    EXPECT_EQ(program("/Ads/"), "/ads/");
    EXPECT_EQ(program("/*.*/AdServer"), "\x01/adserver");
    EXPECT_EQ(program("/*.*"), "\x01");
    EXPECT_EQ(program("/vck\\.js\\?x=1"), "/vck.js?x=1");
    EXPECT_EQ(program("/.*/rest/.*.*get$"), "/\x01/rest/\x01get\x03");
    EXPECT_EQ(program("/api([^-a-z0-9_.%]|$)"), "/api\x02");
    EXPECT_EQ(program("/*.*/a([^-a-z0-9_.%]|$).*b"), "\x01/a\x02\x01"
                                                     "b");
    // Repetitions, classes, groups, anchors and word escapes are the automaton's.
    for (const char* automaton : {"/ads?", "/a.b", "/[ab]", "/(a|b)", "/a|/b", "/a\\w", "/\\<a", "/a$b", "/x/*.*y",
                                  "/.*+a", "/a([^-a-z0-9_.%]|$)b", "/a([^-a-z0-9_.%]|$)$", "/a\\.*"}) {
        EXPECT_EQ(program(automaton), "(automaton)") << automaton;
    }
}

// A glob is read from what the path means, not from how it is spelled: an
// escaped slash, a separator class written in another order or case, and
// nothing else, gives the glob the plain spelling gives, and the glob
// answers as the engine does.
TEST(PathProgram, GlobsWhateverTheSpelling) {
    const struct {
        const char* path;
        const char* program;
    } cases[] = {{"\\/*.*AdS", "\x01"
                               "ads"},
                 {"/a([^a-z0-9_.%-]|$).*b", "/a\x02\x01"
                                            "b"},
                 {"/a([^-A-Z0-9_.%]|$)", "/a\x02"},
                 {"/a([^-a-z0-9_.%]|$)", "/a\x02"}};
    const char* paths[] = {"/ads", "/x/ads", "/a", "/a/", "/a-", "/a%b", "/aB", "/a/b", "/a.xb", "/A?b"};
    for (const auto& c : cases) {
        const PathShortcut shortcut = testing::ShortcutFor(c.path);
        ASSERT_EQ(shortcut.kind, PathShortcut::Kind::Glob) << c.path;
        EXPECT_EQ(shortcut.program, c.program) << c.path;
        regex_t re;
        ASSERT_EQ(regcomp(&re, ParsePath(c.path).expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB), 0);
        for (const char* path : paths) {
            std::string lowered = path;
            LowerAscii(lowered);
            EXPECT_EQ(GlobMatches(shortcut.program, lowered), regexec(&re, path, 0, nullptr, 0) == 0)
                << c.path << " " << path;
        }
        regfree(&re);
    }
    // A separator class that is not quite one, or "." repeated by a count, is the automaton's.
    for (const char* path : {"/a([^-a-z0-9_.]|$)", "/a([^-a-z0-9_.%]|^)", "/a([^-a-z0-9_.%]|$|x)", "/.{0,}a"}) {
        EXPECT_EQ(testing::ShortcutFor(path).kind, PathShortcut::Kind::Automaton) << path;
    }
}

TEST(PathProgram, RequiredTextIsWhatEveryMatchHolds) {
    EXPECT_EQ(testing::ShortcutFor("/*.*/ad[-_]?servers?").required, "server");
    EXPECT_EQ(testing::ShortcutFor("/*.*/admanager\\.js").required, "/admanager.js");
    EXPECT_EQ(testing::ShortcutFor("/ab*cdef").required, "cdef");        // "b" may be absent
    EXPECT_EQ(testing::ShortcutFor("/xy{2}zzz").required, "zzz");        // "y" repeats
    EXPECT_EQ(testing::ShortcutFor("/(long|longer)/q").required, "/q");  // groups hold nothing certain
    EXPECT_EQ(testing::ShortcutFor("/aaaa|/b").required, "");            // alternation outside all groups
    EXPECT_EQ(testing::ShortcutFor("/aaaa)|(/b").required, "");          // closes the anchoring group
    EXPECT_EQ(testing::ShortcutFor("/\\w+abc").required, "abc");
    EXPECT_EQ(testing::ShortcutFor("/[(|)]zz").required, "zz");      // brackets hold plain characters
    EXPECT_EQ(testing::ShortcutFor("/\\<ads\\>x").required, "ads");  // word anchors match no character
}

// An automaton is tried only on paths that hold every literal stretch of its
// pattern, in order and without overlap. A stretch taken too long, or a
// search started past where the next stretch may begin, refuses paths the
// pattern matches.
TEST(PathProgram, RunsAreTheLiteralStretchesInOrder) {
    EXPECT_EQ(testing::ShortcutFor("/*.*/ad[-_]?servers?").runs, std::string("\x03/ad\x06server"));
    EXPECT_EQ(testing::ShortcutFor("/ab?c{2}D").runs, std::string("\x02/a\x01"
                                                                  "d"));
    EXPECT_EQ(testing::ShortcutFor("/aaaa|/b").runs, "");
    EXPECT_EQ(testing::ShortcutFor("/*.*/ads").runs, "");  // a glob searches for its own text
    EXPECT_EQ(testing::ShortcutFor(std::string("/x") + std::string(300, 'y') + "[0-9]").runs,
              '\xff' + ("/x" + std::string(253, 'y')));  // a stretch too long for its byte keeps its start
    const struct {
        const char* pattern;
        const char* path;
        bool matches;
    } cases[] = {
        {"/*.*/ad[-_]?servers?", "/server/adserver", true},  // a stretch seen before the one it follows
        {"/*.*/ad[-_]?servers?", "/ad_server", true},
        {"/*.*/ad[-_]?servers?", "/server/ad", false},
        {"/*.*ab[0-9]?ab", "/abab", true},  // stretches that meet end to end
        {"/*.*ab[0-9]?ab", "/ab", false},
        {"/*.*ab[0-9]?ba", "/aba", false},  // the two share a byte: no match holds both
        {"/ab?c{2}d", "/accd", true},
        {"/ab?c{2}d", "/abcd", false},
    };
    for (const auto& c : cases) {
        const PathShortcut shortcut = testing::ShortcutFor(c.pattern);
        ASSERT_EQ(shortcut.kind, PathShortcut::Kind::Automaton) << c.pattern;
        EXPECT_EQ(ShortcutMatches(shortcut.kind, shortcut.program, shortcut.runs, c.path), c.matches)
            << c.pattern << " " << c.path;
    }
}

// Every pattern of the shipped list and a few awkward ones, against paths
// built to hit and to miss them: the shortcut must answer as the engine does.
TEST(ListPath, ShortcutsAgreeWithTheEngine) {
    std::vector<std::string> patterns = {"/ads/",
                                         "/*.*/banners",
                                         "/*.*/sponsors?[0-9]?/",
                                         "/a|/b",
                                         "/x(y)*z",
                                         "/img/(ad|banner)s?\\.gif",
                                         "/\\(x",
                                         "/*.*[/_.-](728x90|468x60)[/_.-]",
                                         "/\\<ads",
                                         "/ads\\>",
                                         "/ads\\'",
                                         "\\`/ads",
                                         "/\\bads\\B"};
    std::ifstream list(TAMSEL_SOURCE_DIR "/lists/BlockList.txt");
    ASSERT_TRUE(list);
    for (std::string line; std::getline(list, line);) {
        line = line.substr(0, line.find('#'));
        std::erase_if(line, [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
        if (!line.empty() && line[0] == '~') line.erase(0, 1);
        if (const size_t slash = line.find('/'); slash != std::string::npos) patterns.push_back(line.substr(slash));
    }
    std::vector<std::string> paths = {"/",           "/index.html", "/ADS/x.gif", "/img/banners/1.gif", "/a/sponsor7/",
                                      "/x/728x90/a", "/b",          "/xyyz",      "/img/ads.gif",       "/(x",
                                      "/ads",        "/ads/x.gif",  "/adsx"};
    for (const std::string& p : patterns) {
        const PathShortcut s = testing::ShortcutFor(p);
        std::string programText = s.program;
        std::replace_if(
            programText.begin(), programText.end(), [](char c) { return c < 0x20; }, '/');
        for (const std::string& text : {programText, s.required}) {
            if (text.empty()) continue;
            paths.push_back(text);
            paths.push_back("/q/" + text + "/r.js?x=1");
            std::string upper = "/Q" + text;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            paths.push_back(upper);
            paths.push_back("/q" + text.substr(0, text.size() - 1));  // one character short
        }
    }
    int engineRuns = 0;
    for (const std::string& p : patterns) {
        const testing::ListPath compiled(p);
        ASSERT_TRUE(compiled) << p;
        regex_t re;
        ASSERT_EQ(regcomp(&re, ParsePath(p).expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB), 0);
        for (const std::string& path : paths) {
            const bool engine = regexec(&re, path.c_str(), 0, nullptr, 0) == 0;
            ++engineRuns;
            EXPECT_EQ(compiled.Matches(path), engine) << "pattern " << p << " path " << path;
        }
        regfree(&re);
    }
    EXPECT_GT(patterns.size(), 100u);
    EXPECT_GT(engineRuns, 10000);
}

// Random patterns of `pieces` (after "/" or "/*.*") against random paths of
// `pathPieces`: where a pattern has a shortcut of `kind`, the shortcut and the
// compiled path answer as the engine does, and every matching path holds the
// required text. Counts the patterns of that kind and the matching paths.
struct RandomRun {
    int patterns = 0;
    int matched = 0;
};

RandomRun CompareOnRandomPatterns(const std::vector<std::string>& pieces, const std::vector<std::string>& pathPieces,
                                  uint32_t seed, PathShortcut::Kind kind) {
    testing::Lcg next(seed);
    RandomRun run;
    for (int round = 0; round < 4000; ++round) {
        std::string pattern = next(2) ? "/*.*" : "/";
        for (uint32_t n = next(6); n > 0; --n) pattern += pieces[next(static_cast<uint32_t>(pieces.size()))];
        const testing::ListPath compiled(pattern);
        const PathShortcut shortcut = testing::ShortcutFor(pattern);
        if (!compiled || shortcut.kind != kind) continue;
        ++run.patterns;
        regex_t re;
        EXPECT_EQ(regcomp(&re, ParsePath(pattern).expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB), 0);
        for (int probe = 0; probe < 20; ++probe) {
            std::string path = "/";
            for (uint32_t n = next(7); n > 0; --n) path += pathPieces[next(static_cast<uint32_t>(pathPieces.size()))];
            const bool engine = regexec(&re, path.c_str(), 0, nullptr, 0) == 0;
            run.matched += engine;
            std::string lowered = path;
            LowerAscii(lowered);
            const bool shortcutSays = ShortcutMatches(kind, shortcut.program, shortcut.runs, lowered);
            EXPECT_EQ(shortcutSays, engine) << "pattern " << pattern << " path " << path;
            EXPECT_EQ(compiled.Matches(path), engine) << "pattern " << pattern << " path " << path;
            EXPECT_TRUE(!engine || lowered.find(shortcut.required) != std::string::npos) << pattern << " " << path;
            if (shortcutSays != engine) break;
        }
        regfree(&re);
        if (::testing::Test::HasFailure()) break;
    }
    return run;
}

TEST(GlobMatches, AgreesWithTheEngineOnRandomPatterns) {
    const RandomRun run = CompareOnRandomPatterns(
        {"ad", "s", "/", "\\.", "-", ".*", "([^-a-z0-9_.%]|$)", "$", "x?", "A"},
        {"ad", "AD", "s", "/", ".", "-", "?", "_", "x", "%", "=", "sad"}, 99, PathShortcut::Kind::Glob);
    EXPECT_GT(run.patterns, 1500);
    EXPECT_GT(run.matched, 5000);
}

// Every path the parse accepts gets a program: counted repetitions, named
// classes, upper-case members, word escapes, inner anchors, empty branches,
// and as many matched elements as the parse lets through.
TEST(PathProgram, EveryAcceptedPathHasAProgram) {
    const std::string longest = "/" + std::string(254, 'a') + "(b.){128}";  // 511, and the anchoring "^"
    for (const std::string& path :
         {std::string("/x{2}"), std::string("/[[:digit:]]"), std::string("/[A-Z]"), std::string("/[a\\b]"),
          std::string("/a\\w"), std::string("/\\<a"), std::string("/(^a)"), std::string("/(a|)"), std::string("/[%-/]"),
          std::string("/a$b"), std::string("/(a|$)b"), std::string("/a$$"), std::string("/a)|(b"),
          std::string("/.*a.{254}c"), longest}) {
        ASSERT_TRUE(testing::ListPath(path)) << path;
        EXPECT_EQ(testing::ShortcutFor(path).kind, PathShortcut::Kind::Automaton) << path;
    }
    EXPECT_FALSE(testing::ListPath(longest + "c"));
    EXPECT_TRUE(AutomatonProgram(*ParsePath(longest + "c").tree));
    EXPECT_FALSE(AutomatonProgram(*ParsePath(longest + "cd").tree));  // more positions than masks hold
}

// Programs read back from a snapshot are checked before they run: every
// program the analysis makes passes, and one cut short or grown, with a
// position, a set or a mask bit beyond its counts, with a follow mask
// that disagrees with the shifts said to stand for it, or with byte classes
// that disagree with the codes and sets, fails.
TEST(AutomatonProgramValid, AcceptsWhatTheAnalysisMakesAndNothingOutOfBounds) {
    for (const char* path : {"/ads/?(\\?.*)?$", "/*.*/ad[-_]?servers?", "/*.*[/_.-](728x90|160x600)[/_.-]",
                             "/[^a-z0-9]+x", "/(ab)*$", "/x$|/y", "/.*[0-9].{70}/", "/\\<a[[:alpha:]]*\\>"}) {
        const PathShortcut shortcut = testing::ShortcutFor(path);
        ASSERT_EQ(shortcut.kind, PathShortcut::Kind::Automaton) << path;
        const std::string& program = shortcut.program;
        const auto byte = [&](size_t i) { return static_cast<size_t>(static_cast<uint8_t>(program[i])); };
        const size_t count = byte(0) | byte(1) << 8, words = (count + 63) / 64;
        const size_t offsets = std::popcount(byte(5) | byte(6) << 8 | byte(7) << 16);
        const size_t followAt = 8 + 8 * words * (5 + offsets), codesAt = followAt + 8 * words * count;
        ASSERT_GT(offsets, 0u) << path;
        EXPECT_TRUE(AutomatonProgramValid(program)) << path;
        EXPECT_FALSE(AutomatonProgramValid(program.substr(0, program.size() - 1))) << path;
        EXPECT_FALSE(AutomatonProgramValid(program + std::string(32, '\0'))) << path;
        EXPECT_FALSE(AutomatonProgramValid(program.substr(0, 7))) << path;
        std::string more = program;
        more[0] = static_cast<char>(more[0] + 1);  // one position more than the program holds
        EXPECT_FALSE(AutomatonProgramValid(more)) << path;
        if (count % 64 != 0) {
            std::string stray = program;
            stray[8 + count / 8] = static_cast<char>(stray[8 + count / 8] | 1 << (count % 8));  // "first" names it
            EXPECT_FALSE(AutomatonProgramValid(stray)) << path;
        }
        std::string setless = program;
        setless[codesAt] = static_cast<char>(program[2]);  // set code 512 + sets: one the program lacks
        setless[codesAt + 1] = static_cast<char>(2 + program[3]);
        EXPECT_FALSE(AutomatonProgramValid(setless)) << path;
        for (size_t k = 0; k < offsets; ++k) {  // a position moved by an offset its follow mask lacks, or not moved
            std::string moved = program;
            moved[8 + 8 * words * (5 + k)] = static_cast<char>(moved[8 + 8 * words * (5 + k)] ^ 1);
            EXPECT_FALSE(AutomatonProgramValid(moved)) << path << " offset " << k;
        }
        std::string unused = program;
        unused[7] = static_cast<char>(unused[7] | 2);  // an offset beyond the nearest eight
        EXPECT_FALSE(AutomatonProgramValid(unused)) << path;
        // The byte classes close the program: a class count, each byte's class, each class's mask.
        const size_t classesAt = codesAt + 2 * count + 32 * (byte(2) | byte(3) << 8);
        const size_t classes = byte(classesAt) | byte(classesAt + 1) << 8;
        ASSERT_EQ(program.size(), classesAt + 2 + 256 + 8 * words * classes) << path;
        std::string classless = program;
        classless[classesAt + 2 + 'q'] = static_cast<char>(classes);  // a class beyond the count
        EXPECT_FALSE(AutomatonProgramValid(classless)) << path;
        std::string merged = program;
        merged[classesAt + 2 + '/'] = static_cast<char>(byte(classesAt + 2 + '/') == 0);  // "/" in another's class
        EXPECT_FALSE(AutomatonProgramValid(merged)) << path;
        std::string widened = program;
        widened[classesAt + 2 + 256] = static_cast<char>(widened[classesAt + 2 + 256] ^ 1);  // a class's mask altered
        EXPECT_FALSE(AutomatonProgramValid(widened)) << path;
    }
}

// The same for automata, with pieces globs do not hold, a line feed in the
// paths (where "$" and "^" also hold within a match), and pieces the parse
// refuses.
TEST(AutomatonMatches, AgreesWithTheEngineOnRandomPatterns) {
    const RandomRun run =
        CompareOnRandomPatterns({"ad",    "s?",   "/",    "\\.", "[-_]", ".*", "[^a-c/]", "(js|php)", "$",   "x*",
                                 "(ab)+", "[]a]", "[a-]", ".",   "|",    "(",  ")",       "[0-9]+",   "\\?", "(/|$)"},
                                {"ad", "AD", "s", "/", ".", "-", "?", "_", "x", "js", "PHP", "ab", "]", "7", "\n"}, 7,
                                PathShortcut::Kind::Automaton);
    EXPECT_GT(run.patterns, 1500);
    EXPECT_GT(run.matched, 5000);
}

// Every construct the parse lets through: counts, classes, equivalence
// classes and collating symbols, escapes of letters, every anchor, empty
// groups and branches, a group closed early, against paths with bytes of
// the upper half, line feeds and word boundaries.
TEST(AutomatonMatches, EveryConstructAgreesWithTheEngine) {
    const RandomRun run = CompareOnRandomPatterns(
        {"a",     "B",     ".",    "*",     "+",    "?",    "{2}",  "{0,2}", "{1,}",        "{,1}",        "{0}",
         "(",     ")",     "|",    "^",     "$",    "[ab]", "[^a]", "[A-C]", "[[:upper:]]", "[[:punct:]]", "\\w",
         "\\W",   "\\s",   "\\S",  "\\<",   "\\>",  "\\b",  "\\B",  "\\`",   "\\'",         "\\a",         "\\A",
         "[=a=]", "[.b.]", "\xe9", "[]a-]", "[^]]", ".*",   "()",   "_",     "\n"},
        {"a", "b", "A", "B", "/", ".", "\n", "_", "1", " ", "\xe9", "\xc3\xa9", "-", "]"}, 11,
        PathShortcut::Kind::Automaton);
    EXPECT_GT(run.patterns, 2500);
    EXPECT_GT(run.matched, 10000);
}

// A path that closes its anchoring group early is searched for, starting
// afresh before every byte. A start just after a line feed is a start: "^"
// holds there only at the path's start, and "$" not before the line feed.
TEST(AutomatonMatches, StartsAfterALineFeedAgreeWithTheEngine) {
    for (const char* pattern : {"/x)?$|$\\b0", "/x)|$\\b0", "/x)|^a", "/x)|a$", "/x)|\\<0", "/x)|$"}) {
        const PathShortcut shortcut = testing::ShortcutFor(pattern);
        ASSERT_EQ(shortcut.kind, PathShortcut::Kind::Automaton) << pattern;
        regex_t re;
        ASSERT_EQ(regcomp(&re, ParsePath(pattern).expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB), 0);
        for (const char* path : {"/xb0\n", "/q\n0", "\n0\n", "/q\na", "/qa\n", "/q\n\na", "/q\n"}) {
            const bool engine = regexec(&re, path, 0, nullptr, 0) == 0;
            EXPECT_EQ(ShortcutMatches(shortcut.kind, shortcut.program, shortcut.runs, path), engine)
                << "pattern " << pattern << " path " << path;
        }
        regfree(&re);
    }
}

// Case folding, "." and the classes do not follow the program's locale: a
// program that chose a UTF-8 one gets the verdicts of the C locale, where
// each byte is a character and only A to Z fold.
TEST(ListPath, OneVerdictWhateverTheLocale) {
    struct Case {
        const char* pattern;
        const char* path;
        bool matches;
    };
    const Case cases[] = {{"/a.b",
                           "/a\xff"
                           "b",
                           true},
                          {"/a.b",
                           "/a\xc3\xa9"
                           "b",
                           false},
                          {"/ads", "/ad\xc5\xbf", false},
                          {"/is", "/\xc4\xb1s", false},
                          {"/a[^x]b",
                           "/a\xff"
                           "b",
                           true},
                          {"/\\w+x", "/\xc3\xa9x", false},
                          {"/[[:alpha:]]", "/\xc3\xa9", false},
                          {"/(.){2}$", "/\xc3\xa9", true}};
    const std::string before = setlocale(LC_ALL, nullptr);
    if (setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no UTF-8 locale here";
    std::vector<std::string> wrong;
    for (const Case& c : cases) {
        const testing::ListPath compiled(c.pattern);
        if (!compiled || compiled.Matches(c.path) != c.matches) wrong.push_back(std::string(c.pattern) + " " + c.path);
    }
    setlocale(LC_ALL, before.c_str());
    EXPECT_TRUE(wrong.empty()) << wrong.front();
    for (const Case& c : cases) {  // and the engine, in the C locale, agrees
        regex_t re;
        ASSERT_EQ(regcomp(&re, ParsePath(c.pattern).expression.c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB), 0);
        EXPECT_EQ(regexec(&re, c.path, 0, nullptr, 0) == 0, c.matches) << c.pattern << " " << c.path;
        regfree(&re);
    }
}

}  // namespace
}  // namespace tamsel
