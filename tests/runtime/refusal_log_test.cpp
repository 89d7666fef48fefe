// The refusal log's lines: what they say and that each stays one line.
#include "runtime/refusal_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(RefusalLog, ControlBytesTabsAndBackslashesAreEscapedSoALineStaysOneLine) {
    const LogRecord record{"t",       "1",           "my\tprog", "refused", "http://a.x/p\r\nX-Evil: 1\x7f\\",
                           "l.txt:3", "a.x/\x1b[31m"};
    const std::string line = FormatLogLine(record);
    EXPECT_EQ(line, "t\t1\tmy\\x09prog\trefused\thttp://a.x/p\\x0d\\x0aX-Evil: 1\\x7f\\x5c\tl.txt:3\ta.x/\\x1b[31m\n");
    const auto back = ParseLogLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->program, "my\\x09prog");
    EXPECT_EQ(back->pattern, "a.x/\\x1b[31m");
    // Bytes above ASCII (a UTF-8 host name) stay as they are.
    EXPECT_EQ(FormatLogLine({"t", "1", "p", "v", "http://b\xc3\xbc.x/", "", ""}),
              "t\t1\tp\tv\thttp://b\xc3\xbc.x/\t\t\n");
}

TEST(RefusalLog, OnlyWholeLinesParse) {
    EXPECT_FALSE(ParseLogLine(""));
    EXPECT_FALSE(ParseLogLine("t\t1\tp\tv\ts\tw"));            // a field short
    EXPECT_FALSE(ParseLogLine("t\t1\tp\tv\ts\tw\tp\textra"));  // one too many
    EXPECT_FALSE(ParseLogLine("\t1\tp\tv\ts\tw\tp"));          // no time
    EXPECT_TRUE(ParseLogLine("t\t1\tp\tv\ts\tw\tp\n"));
}

TEST(RefusalLog, TimestampsAreUtcCalendarDates) {
    EXPECT_EQ(UtcTimestamp(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(UtcTimestamp(951782400000 + 86399999), "2000-02-29T23:59:59.999Z");
    EXPECT_EQ(UtcTimestamp(1796715607123), "2026-12-08T07:40:07.123Z");
    EXPECT_EQ(UtcTimestamp(-1), "1969-12-31T23:59:59.999Z");
}

TEST(RefusalLog, ProgramNamesComeFromEitherPathStyle) {
    EXPECT_EQ(ProgramNameOf("/usr/bin/curl"), "curl");
    EXPECT_EQ(ProgramNameOf("C:\\Program Files\\Browser\\IEXPLORE.EXE"), "IEXPLORE.EXE");
    EXPECT_EQ(ProgramNameOf("wget"), "wget");
}

class NamedLog : public ::testing::Test {
protected:
    void TearDown() override { NameRefusalLog(std::nullopt, ""); }
    testing::TempDir dir_;
};

TEST_F(NamedLog, ARefusalNamesTheListLineAndPatternThatDecided) {
    const std::string path = (dir_.path() / "refusals.log").string();
    auto list = ParsePatternListText("# ads\nnews.x/ok/\nads.x\n", "/lists/BlockList.txt").value();
    ASSERT_TRUE(list);
    const Judgement judgement{Verdict::Refused, list.get(), &list->entries[0]};
    LogRefusal("refused", "http://www.ads.x/a.gif", judgement);  // no log named yet
    EXPECT_FALSE(std::filesystem::exists(path));
    NameRefusalLog(path, "curl");
    EXPECT_TRUE(RefusalLogNamed());
    LogRefusal("refused at lookup", "https://www.ads.x:443", judgement);
    const auto record = ParseLogLine(ReadAll(path));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->program, "curl");
    EXPECT_EQ(record->pid, std::to_string(TheEnv().CurrentProcessId()));
    EXPECT_EQ(record->verdict, "refused at lookup");
    EXPECT_EQ(record->subject, "https://www.ads.x:443");
    EXPECT_EQ(record->where, "/lists/BlockList.txt:3");
    EXPECT_EQ(record->pattern, "ads.x");
}

// A query can carry what a person typed or a session's token: the log
// keeps it only when asked to.
TEST_F(NamedLog, QueriesAreLeftOutUnlessAskedFor) {
    const std::string path = (dir_.path() / "refusals.log").string();
    NameRefusalLog(path, "curl");
    LogRefusal("refused", "http://ads.x/track?user=me&token=secret", {});
    auto record = ParseLogLine(ReadAll(path));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->subject, "http://ads.x/track");
    std::filesystem::remove(path);
    NameRefusalLog(path, "curl", LogQueries::Keep);
    LogRefusal("refused", "http://ads.x/track?user=me&token=secret", {});
    record = ParseLogLine(ReadAll(path));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->subject, "http://ads.x/track?user=me&token=secret");
}

TEST_F(NamedLog, ALogThatCannotBeWrittenLosesTheLineAndNothingElse) {
    NameRefusalLog((dir_.path() / "no-such-folder" / "refusals.log").string(), "curl");
    LogRefusal("refused", "http://ads.x/", {});
    LogListFailure("/lists/UserBlock.txt", {.message = "bad path pattern", .lineNumber = 2});
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "no-such-folder"));
}

}  // namespace
}  // namespace tamsel
