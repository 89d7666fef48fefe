#include "patterns/path_shortcut.h"

#include <gtest/gtest.h>
#include <regex.h>

#include <fstream>
#include <string>
#include <vector>

#include "patterns/path_regex.h"

namespace tamsel {
namespace {

TEST(AnalysePath, PlainAndContainsPatterns) {
    EXPECT_EQ(AnalysePath("/Ads/").kind, PathShortcut::Kind::Prefix);
    EXPECT_EQ(AnalysePath("/Ads/").literal, "/ads/");
    const PathShortcut contains = AnalysePath("/*.*/AdServer");
    EXPECT_EQ(contains.kind, PathShortcut::Kind::Contains);
    EXPECT_EQ(contains.literal, "/adserver");
    EXPECT_EQ(AnalysePath("/*.*").kind, PathShortcut::Kind::Engine);
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
        for (const std::string& text : {s.literal, s.required}) {
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

}  // namespace
}  // namespace tamsel
