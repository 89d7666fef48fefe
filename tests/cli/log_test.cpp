// tamsel log against log files written by hand, as programs would write them.
#include <gtest/gtest.h>

#include "cli/run_tool.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

using testing::RunTool;

const std::string kFirst =
    "2026-12-08T07:40:07.123Z\t41\tcurl\trefused\thttp://Ads.X:8080/a\\x0d.gif\t/l/BlockList.txt:3\tads.x\n";
const std::string kSecond =
    "2026-12-08T07:40:08.000Z\t42\twget\trefused at lookup\thttps://ads.x:443\t/l/BlockList.txt:3\tads.x\n";
const std::string kThird = "2026-12-08T07:40:09.000Z\t42\twget\trefused\thttp://[::1]:81/b\t/l/UserBlock.txt:1\t/b\n";
const std::string kFailure =
    "2026-12-08T07:40:10.000Z\t42\twget\tlist not loaded\t/l/UserBlock.txt\t/l/UserBlock.txt:2\tbad path\n";

class LogTool : public ::testing::Test {
protected:
    std::string Write(const std::string& text) { return dir_.Write("refusals.log", text); }
    testing::TempDir dir_;
};

TEST_F(LogTool, ShowsEachLineReadablyAndLeavesOutWhatIsNotALogLine) {
    const std::string file = Write(kFirst + "garbage without tabs\n" + kSecond + "2026-12-08T07:40:11.000Z\t4");
    const auto r = RunTool("log " + file);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "2026-12-08T07:40:07.123Z  curl[41]  refused  http://Ads.X:8080/a\\x0d.gif  /l/BlockList.txt:3 ads.x\n"
              "2026-12-08T07:40:08.000Z  wget[42]  refused at lookup  https://ads.x:443  /l/BlockList.txt:3 ads.x\n"
              "tamsel log: 1 lines not in the log's format were left out\n");
}

TEST_F(LogTool, TheSummaryCountsRefusalsByHostAndByDecidingLine) {
    const auto r = RunTool("log --summary " + Write(kFirst + kSecond + kThird + kFailure));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "3 refusals\n1 lists that failed to load\n\n"
                     "by host:\n       2  ads.x\n       1  [::1]\n\n"
                     "by deciding line:\n       2  /l/BlockList.txt:3 ads.x\n       1  /l/UserBlock.txt:1 /b\n");
}

TEST_F(LogTool, FollowShowsLinesAppendedLaterAndLinesFinishedLater) {
    const std::string file = Write(kFirst);
    const std::string half = kSecond.substr(0, 30), rest = kSecond.substr(30);
    const auto r = RunTool("log --follow " + file + " & sleep 0.5; printf '%s' '" + half + "' >> " + file +
                           "; sleep 0.5; printf '%s' '" + rest + "' >> " + file + "; sleep 0.6; kill $!");
    EXPECT_EQ(r.out,
              "2026-12-08T07:40:07.123Z  curl[41]  refused  http://Ads.X:8080/a\\x0d.gif  /l/BlockList.txt:3 ads.x\n"
              "2026-12-08T07:40:08.000Z  wget[42]  refused at lookup  https://ads.x:443  /l/BlockList.txt:3 ads.x\n");
}

TEST_F(LogTool, UsageErrorsAndAMissingFile) {
    EXPECT_EQ(RunTool("log --follow --summary " + Write(kFirst)).exitCode, 2);
    EXPECT_EQ(RunTool("log --tail x").exitCode, 2);
    EXPECT_EQ(RunTool("log a b").exitCode, 2);
    const auto none = RunTool("log");  // TAMSEL_LOG is unset in the test's environment
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.out.find("TAMSEL_LOG"), std::string::npos) << none.out;
    const auto missing = RunTool("log " + (dir_.path() / "none.log").string());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("cannot read"), std::string::npos) << missing.out;
    EXPECT_EQ(RunTool("log --summary", "").exitCode, 2);
}

}  // namespace
}  // namespace tamsel
