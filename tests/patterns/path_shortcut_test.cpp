#include "patterns/path_shortcut.h"

#include <gtest/gtest.h>
#include <regex.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "patterns/path_regex.h"
#include "patterns/text.h"
#include "support/lcg.h"

namespace tamsel {
namespace {

TEST(AnalysePath, GlobShapedPatterns) {
    const auto program = [](const char* path) {
        const PathShortcut s = AnalysePath(path);
        return s.kind == PathShortcut::Kind::Glob ? s.program : std::string("(engine)");
    };
    EXPECT_EQ(program("/Ads/"), "/ads/");
    EXPECT_EQ(program("/*.*/AdServer"), "\x01/adserver");
    EXPECT_EQ(program("/*.*"), "\x01");
    EXPECT_EQ(program("/vck\\.js\\?x=1"), "/vck.js?x=1");
    EXPECT_EQ(program("/.*/rest/.*.*get$"), "/\x01/rest/\x01get\x03");
    EXPECT_EQ(program("/api([^-a-z0-9_.%]|$)"), "/api\x02");
    EXPECT_EQ(program("/*.*/a([^-a-z0-9_.%]|$).*b"), "\x01/a\x02\x01" "b");
    // Repetitions, classes, groups, anchors and word escapes are the engine's.
    for (const char* engine : {"/ads?", "/a.b", "/[ab]", "/(a|b)", "/a|/b", "/a\\w", "/\\<a", "/a$b", "/x/*.*y",
                               "/.*+a", "/a([^-a-z0-9_.%]|$)b", "/a([^-a-z0-9_.%]|$)$", "/a\\.*"}) {
        EXPECT_EQ(program(engine), "(engine)") << engine;
    }
}

TEST(AnalysePath, RequiredTextIsWhatEveryMatchHolds) {
    EXPECT_EQ(AnalysePath("/*.*/ad[-_]?servers?").required, "server");
    EXPECT_EQ(AnalysePath("/*.*/admanager\\.js").required, "/admanager.js");
    EXPECT_EQ(AnalysePath("/ab*cdef").required, "cdef");          // "b" may be absent
    EXPECT_EQ(AnalysePath("/xy{2}zzz").required, "zzz");          // "y" repeats
    EXPECT_EQ(AnalysePath("/(long|longer)/q").required, "/q");    // groups hold nothing certain
    EXPECT_EQ(AnalysePath("/aaaa|/b").required, "");              // alternation outside all groups
    EXPECT_EQ(AnalysePath("/aaaa)|(/b").required, "");            // closes the anchoring group
    EXPECT_EQ(AnalysePath("/\\w+abc").required, "abc");
    EXPECT_EQ(AnalysePath("/[(|)]zz").required, "zz");           // brackets hold plain characters
    EXPECT_EQ(AnalysePath("/\\<ads\\>x").required, "ads");       // word anchors match no character
}

// Every pattern of the shipped list and a few awkward ones, against paths
// built to hit and to miss them: the shortcut must answer as the engine does.
TEST(PathRegex, ShortcutsAgreeWithTheEngine) {
    std::vector<std::string> patterns = {"/ads/", "/*.*/banners", "/*.*/sponsors?[0-9]?/", "/a|/b", "/x(y)*z",
                                         "/img/(ad|banner)s?\\.gif", "/\\(x", "/*.*[/_.-](728x90|468x60)[/_.-]",
                                         "/\\<ads", "/ads\\>", "/ads\\'", "\\`/ads", "/\\bads\\B"};
    std::ifstream list(TAMSEL_SOURCE_DIR "/lists/BlockList.txt");
    ASSERT_TRUE(list);
    for (std::string line; std::getline(list, line);) {
        line = line.substr(0, line.find('#'));
        std::erase_if(line, [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
        if (!line.empty() && line[0] == '~') line.erase(0, 1);
        if (const size_t slash = line.find('/'); slash != std::string::npos) patterns.push_back(line.substr(slash));
    }
    std::vector<std::string> paths = {"/", "/index.html", "/ADS/x.gif", "/img/banners/1.gif", "/a/sponsor7/",
                                      "/x/728x90/a", "/b", "/xyyz", "/img/ads.gif", "/(x",
                                      "/ads", "/ads/x.gif", "/adsx"};
    for (const std::string& p : patterns) {
        const PathShortcut s = AnalysePath(p);
        std::string programText = s.program;
        std::replace_if(programText.begin(), programText.end(), [](char c) { return c < 0x20; }, '/');
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
        const auto compiled = PathRegex::Compile(p);
        ASSERT_TRUE(compiled) << p;
        regex_t re;
        ASSERT_EQ(regcomp(&re, compiled->expression().c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB), 0);
        for (const std::string& path : paths) {
            const bool engine = regexec(&re, path.c_str(), 0, nullptr, 0) == 0;
            ++engineRuns;
            EXPECT_EQ(compiled->Matches(path.c_str()), engine) << "pattern " << p << " path " << path;
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
        const auto compiled = PathRegex::Compile(pattern);
        const PathShortcut shortcut = AnalysePath(pattern);
        if (!compiled || shortcut.kind != kind) continue;
        ++run.patterns;
        regex_t re;
        EXPECT_EQ(regcomp(&re, compiled->expression().c_str(), REG_EXTENDED | REG_ICASE | REG_NOSUB), 0);
        for (int probe = 0; probe < 20; ++probe) {
            std::string path = "/";
            for (uint32_t n = next(7); n > 0; --n) path += pathPieces[next(static_cast<uint32_t>(pathPieces.size()))];
            const bool engine = regexec(&re, path.c_str(), 0, nullptr, 0) == 0;
            run.matched += engine;
            std::string lowered = path;
            LowerAscii(lowered);
            const bool shortcutSays = ShortcutMatches(kind, shortcut.program, shortcut.required, lowered);
            EXPECT_EQ(shortcutSays, engine) << "pattern " << pattern << " path " << path;
            EXPECT_EQ(compiled->Matches(path.c_str()), engine) << "pattern " << pattern << " path " << path;
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

TEST(AnalysePath, AutomatonShapedPatterns) {
    const auto kind = [](const char* path) { return AnalysePath(path).kind; };
    // The converted shapes globs cannot hold.
    for (const char* automaton : {"/ads/?(\\?.*)?$", "/*.*/ad[-_]?servers?", "/*.*/matomo\\.(js|php)",
                                  "/*.*[/_.-](728x90|160x600)[/_.-]", "/*.*/getads?[/._?]", "/a.b", "/[]a]",
                                  "/[^a-z0-9]+x", "/(ab)*$", "/a|/b", "/x$|/y"}) {
        EXPECT_EQ(kind(automaton), PathShortcut::Kind::Automaton) << automaton;
    }
    // Counted repetitions, named classes, upper-case or open-ended bracket
    // members, word escapes, inner "^", empty branches and more than 64
    // elements stay the engine's.
    const std::string long65 = "/" + std::string(63, 'a') + "b?";
    for (const std::string& engine : {std::string("/x{2}"), std::string("/[[:digit:]]"), std::string("/[A-Z]"),
                                      std::string("/[a\\b]"), std::string("/a\\w"), std::string("/\\<a"),
                                      std::string("/(^a)"), std::string("/(a|)"), std::string("/a**"),
                                      std::string("/[a-c-e]"), std::string("/[%-/]"), std::string("/a$b"),
                                      std::string("/(a|$)b"), std::string("/a$$"), long65}) {
        EXPECT_EQ(kind(engine.c_str()), PathShortcut::Kind::Engine) << engine;
    }
    EXPECT_EQ(kind(("/" + std::string(62, 'a') + "b?").c_str()), PathShortcut::Kind::Automaton);  // 64 elements
}

// Programs read back from a snapshot are checked before they run: every
// program the analysis makes passes, and one cut short, with a position or
// class beyond its count, or with a mask naming a missing position fails.
TEST(AutomatonProgramValid, AcceptsWhatTheAnalysisMakesAndNothingOutOfBounds) {
    for (const char* path : {"/ads/?(\\?.*)?$", "/*.*/ad[-_]?servers?", "/*.*[/_.-](728x90|160x600)[/_.-]", "/[^a-z0-9]+x",
                             "/(ab)*$", "/x$|/y"}) {
        const PathShortcut shortcut = AnalysePath(path);
        ASSERT_EQ(shortcut.kind, PathShortcut::Kind::Automaton) << path;
        const std::string& program = shortcut.program;
        EXPECT_TRUE(AutomatonProgramValid(program)) << path;
        EXPECT_FALSE(AutomatonProgramValid(program.substr(0, program.size() - 1))) << path;
        EXPECT_FALSE(AutomatonProgramValid(program.substr(0, 17))) << path;
        std::string more = program;
        more[0] = static_cast<char>(more[0] + 1);  // one position more than the program holds
        EXPECT_FALSE(AutomatonProgramValid(more)) << path;
        const size_t count = static_cast<uint8_t>(program[0]);
        if (count < 64) {
            std::string stray = program;
            stray[2 + count / 8] = static_cast<char>(stray[2 + count / 8] | 1 << (count % 8));  // "first" names it
            EXPECT_FALSE(AutomatonProgramValid(stray)) << path;
        }
        std::string classless = program;
        classless[18 + 8 * count] = 0x1f;  // a class the program does not hold
        EXPECT_FALSE(AutomatonProgramValid(classless)) << path;
    }
}

// The same for automata, with pieces globs do not hold, a line feed in the
// paths (where the engine's "$" differs from the end), and pieces that make
// patterns the engine alone answers or refuses.
TEST(AutomatonMatches, AgreesWithTheEngineOnRandomPatterns) {
    const RandomRun run = CompareOnRandomPatterns(
        {"ad", "s?", "/", "\\.", "[-_]", ".*", "[^a-c/]", "(js|php)", "$", "x*", "(ab)+", "[]a]", "[a-]", ".", "|", "(",
         ")", "[0-9]+", "\\?", "(/|$)"},
        {"ad", "AD", "s", "/", ".", "-", "?", "_", "x", "js", "PHP", "ab", "]", "7", "\n"}, 7,
        PathShortcut::Kind::Automaton);
    EXPECT_GT(run.patterns, 1500);
    EXPECT_GT(run.matched, 5000);
}

}  // namespace
}  // namespace tamsel
