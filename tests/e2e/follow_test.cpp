// A running program under the filter takes up list edits without a restart,
// and writes the refusal log whole from many threads and processes.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "recording_server.h"
#include "runtime/refusal_log.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

namespace fs = std::filesystem;
using testing::ChildResult;
using testing::FindInPath;
using testing::RunChild;
using Env = std::map<std::string, std::optional<std::string>>;
using Clock = std::chrono::system_clock;

double Now() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// The tool and the module copied into a scratch folder, with lists of their
// own there: "tamsel list" edits these, never the build's.
class Following : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FindInPath("python3")) GTEST_SKIP() << "python3 is not installed";
        fs::copy_file(TAMSEL_PRELOAD_MODULE, dir_.path() / "libtamsel.so");
        fs::copy_file(TAMSEL_TOOL, Tool());
        dir_.Write("BlockList.txt", "# test list\nads.test\n");
    }
    std::string Tool() const { return (dir_.path() / "tamsel").string(); }
    Env Environment() const { return {{"XDG_CONFIG_HOME", (dir_.path() / "config").string()}}; }
    ChildResult Tool(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {Tool()};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunChild(argv, Environment());
    }
    // The driver under "tamsel run", on a thread of its own.
    std::thread Start(const std::vector<std::string>& driverArgs, ChildResult* result,
                      const std::vector<std::string>& runOptions = {}) const {
        std::vector<std::string> argv = {Tool(), "run"};
        argv.insert(argv.end(), runOptions.begin(), runOptions.end());
        argv.insert(argv.end(), {"--", *FindInPath("python3"), TAMSEL_REQUEST_DRIVER});
        argv.insert(argv.end(), driverArgs.begin(), driverArgs.end());
        return std::thread([=, this] { *result = RunChild(argv, Environment(), 60); });
    }
    std::string Port() const { return std::to_string(server_.port()); }
    // The loop driver for `seconds`, and a wait until it has made its first
    // request: on a loaded machine the program may take a while to start.
    std::thread StartLoop(const std::string& host, int seconds, ChildResult* result,
                          const std::vector<std::string>& runOptions = {}) const {
        const fs::path started = dir_.path() / "started";
        std::thread program =
            Start({"loop", Port(), host, std::to_string(seconds), started.string()}, result, runOptions);
        for (int i = 0; i < 400 && !fs::exists(started); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return program;
    }

    testing::TempDir dir_;
    testing::RecordingServer server_;
};

struct Outcome {
    double time;
    std::string what;
};

std::vector<Outcome> Outcomes(const std::string& out) {
    std::vector<Outcome> result;
    std::istringstream lines(out);
    Outcome o;
    while (lines >> o.time >> o.what) result.push_back(o);
    return result;
}

// The first outcome at or after `from` that says `what`, as seconds after `from`.
std::optional<double> FirstAfter(const std::vector<Outcome>& outcomes, double from, const std::string& what) {
    for (const Outcome& o : outcomes) {
        if (o.time >= from && o.what == what) return o.time - from;
    }
    return std::nullopt;
}

TEST_F(Following, ARunningProgramFollowsTheUsersBlockList) {
    ChildResult run;
    std::thread program = StartLoop("news.test", 9, &run);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ASSERT_EQ(Tool({"list", "black", "add", "news.test"}).exitCode, 0);
    const double added = Now();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    ASSERT_EQ(Tool({"list", "black", "delete", "1", "--yes"}).exitCode, 0);
    const double deleted = Now();
    program.join();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto outcomes = Outcomes(run.out);
    ASSERT_GT(outcomes.size(), 40u) << run.out;
    ASSERT_LT(outcomes[0].time, added - 0.5);
    EXPECT_FALSE(FirstAfter(outcomes, 0, "failed")) << run.out;
    for (const Outcome& o : outcomes) {
        if (o.time < added) {
            EXPECT_EQ(o.what, "ok") << "before the edit, at " << o.time;
        }
    }
    const auto refusedAfter = FirstAfter(outcomes, added, "refused");
    ASSERT_TRUE(refusedAfter) << run.out;
    EXPECT_LE(*refusedAfter, 2.0) << run.out;
    const auto passedAfter = FirstAfter(outcomes, deleted, "ok");
    ASSERT_TRUE(passedAfter) << run.out;
    EXPECT_LE(*passedAfter, 2.0) << run.out;
    EXPECT_EQ(outcomes.back().what, "ok");
}

TEST_F(Following, ABrokenReplacementKeepsTheOldVerdictsAndIsLogged) {
    dir_.Write("UserBlock.txt", "news.test\n");
    const std::string log = (dir_.path() / "refusals.log").string();
    ChildResult run;
    std::thread program = StartLoop("news.test", 4, &run, {"--log", log});
    // Replaced as an editor replaces it: a new file renamed over the old.
    dir_.Write("UserBlock.new", "other.test\nbad/(\n");
    fs::rename(dir_.path() / "UserBlock.new", dir_.path() / "UserBlock.txt");
    program.join();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto outcomes = Outcomes(run.out);
    ASSERT_GT(outcomes.size(), 15u) << run.out << run.err;
    EXPECT_FALSE(FirstAfter(outcomes, 0, "ok")) << run.out;
    std::ifstream in(log);
    size_t failures = 0, refusals = 0;
    for (std::string line; std::getline(in, line);) {
        const auto record = ParseLogLine(line);
        ASSERT_TRUE(record) << line;
        if (record->verdict == kListNotLoaded) {
            ++failures;
            EXPECT_EQ(record->where, (dir_.path() / "UserBlock.txt").string() + ":2");
        } else {
            ++refusals;
            EXPECT_EQ(record->subject, "http://news.test/x.js");
            EXPECT_EQ(record->where, (dir_.path() / "UserBlock.txt").string() + ":1");
        }
    }
    EXPECT_EQ(failures, 1u);
    EXPECT_EQ(refusals, outcomes.size());
}

TEST_F(Following, EightThreadsInTwoProcessesWriteWholeLinesThatTheSummaryCounts) {
    const std::string log = (dir_.path() / "refusals.log").string();
    constexpr int kEach = 25;
    ChildResult first, second;
    std::thread a = Start({"threads", Port(), "a", std::to_string(kEach)}, &first, {"--log=" + log});
    std::thread b = Start({"threads", Port(), "b", std::to_string(kEach)}, &second, {"--log", log});
    a.join();
    b.join();
    ASSERT_EQ(first.out, std::to_string(4 * kEach) + "\n") << first.err;
    ASSERT_EQ(second.out, std::to_string(4 * kEach) + "\n") << second.err;
    std::ifstream in(log, std::ios::binary);
    std::set<std::string> pids;
    size_t lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        const auto record = ParseLogLine(line);
        ASSERT_TRUE(record) << "line " << lines << " is not whole: " << line.substr(0, 200);
        EXPECT_EQ(record->program.rfind("python3", 0), 0u) << record->program;
        EXPECT_EQ(record->subject.find('\x01'), std::string::npos);
        EXPECT_NE(record->subject.find("/\\x01ctl"), std::string::npos);
        pids.insert(record->pid);
    }
    EXPECT_EQ(lines, 8u * kEach);
    EXPECT_EQ(pids.size(), 2u);
    const ChildResult summary = Tool({"log", "--summary", log});
    ASSERT_EQ(summary.exitCode, 0) << summary.err;
    EXPECT_EQ(summary.out.rfind(std::to_string(8 * kEach) + " refusals\n", 0), 0u) << summary.out;
    for (const char* host : {"a-t0", "a-t3", "b-t1", "b-t2"}) {
        EXPECT_NE(summary.out.find("      25  " + std::string(host) + ".ads.test\n"), std::string::npos) << summary.out;
    }
    const std::string line = "     200  " + (dir_.path() / "BlockList.txt").string() + ":2 ads.test\n";
    EXPECT_NE(summary.out.find(line), std::string::npos) << summary.out;
}

}  // namespace
}  // namespace tamsel
