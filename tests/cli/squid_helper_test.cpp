// tamsel squid-helper run as a program: it must refuse exactly what
// tamsel check refuses, naming the same line, since a network behind the
// proxy and a program under the module are promised the same verdicts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/run_tool.h"
#include "support/lcg.h"
#include "support/random_lines.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

using testing::RunTool;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// What the helper must answer for one line of tamsel check's output about
// `url`: "VERDICT URL  FILE:LINE PATTERN", the verdict "refused" or
// "refused at lookup", "trusted" or "passed".
std::string ExpectedAnswer(const std::string& checkLine, const std::string& url) {
    const size_t at = checkLine.find(" " + url);
    if (at == std::string::npos) return "(no line about " + url + ")";
    std::string deciding = checkLine.substr(at + 1 + url.size());
    if (deciding.rfind("  ", 0) == 0) deciding.erase(0, 2);
    const std::string verdict = checkLine.substr(0, checkLine.find(' '));
    if (verdict == "refused") return "OK message=\"refused by " + deciding + "\"";
    if (deciding.empty()) return "ERR";
    return "ERR message=\"" + verdict + " by " + deciding + "\"";
}

std::string RandomUrl(testing::Lcg& next) {
    static const char* const kPorts[] = {"", ":80", ":8080"};
    static const char* const kPaths[] = {"/", "/ad", "/x/y", "/adx", "/b/ad/"};
    static const char* const kLabels[] = {"a", "b", "ad", "x"};
    std::string host;
    const uint32_t depth = 1 + next(3);
    for (uint32_t i = 0; i < depth; ++i) host += std::string(i ? "." : "") + kLabels[next(4)];
    return "http://" + host + kPorts[next(3)] + kPaths[next(5)];
}

TEST(SquidHelperTool, RefusesWhatCheckRefusesOnRandomLists) {
    static const char* const kPorts[] = {"", "", ":80", ":8080"};
    static const char* const kPaths[] = {"", "", "/", "/ad", "/x/"};
    testing::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", (dir.path() / "config").c_str(), 1);
    const std::string lists = "--lists " + dir.path().string();
    int refused = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        testing::Lcg next(seed);
        dir.Write("UserTrust.txt", testing::RandomHostLines(next, 2, kPorts, kPaths));
        dir.Write("UserBlock.txt", testing::RandomHostLines(next, 4, kPorts, kPaths));
        dir.Write("BlockList.txt", testing::RandomHostLines(next, 10, kPorts, kPaths));
        std::vector<std::string> urls;
        std::string input;
        for (int i = 0; i < 40; ++i) {
            urls.push_back(RandomUrl(next));
            input += (i % 2 ? std::to_string(i) + " " : "") + urls.back() + " -\\n";
        }
        std::string args;
        for (const std::string& url : urls) args += " " + url;
        const auto check = RunTool("check " + lists + args);
        const auto helper = RunTool("squid-helper " + lists, input);
        ASSERT_EQ(check.exitCode, 0) << check.out;
        ASSERT_EQ(helper.exitCode, 0) << helper.out;
        const std::vector<std::string> checked = Lines(check.out), answers = Lines(helper.out);
        ASSERT_EQ(checked.size(), urls.size()) << check.out;
        ASSERT_EQ(answers.size(), urls.size()) << helper.out;
        for (size_t i = 0; i < urls.size(); ++i) {
            const std::string channel = i % 2 ? std::to_string(i) + " " : "";
            EXPECT_EQ(answers[i], channel + ExpectedAnswer(checked[i], urls[i])) << "seed " << seed;
            refused += answers[i].find("OK ") != std::string::npos;
        }
    }
    // The lists are dense enough that both verdicts occur often.
    std::printf("%d of 480 refused\n", refused);
    EXPECT_GT(refused, 60);
    EXPECT_LT(refused, 420);
}

TEST(SquidHelperTool, RefusesAWrongCommandLine) {
    testing::TempDir dir;
    EXPECT_EQ(RunTool("squid-helper --lists " + dir.path().string() + " extra").exitCode, 2);
    EXPECT_EQ(RunTool("squid-helper --lists " + (dir.path() / "missing").string()).exitCode, 2);
    EXPECT_EQ(RunTool("squid-helper --lists", "").exitCode, 2);
}

}  // namespace
}  // namespace tamsel
