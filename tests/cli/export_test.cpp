// tamsel export, run as a program against a list folder on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/run_tool.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

using testing::RunTool;

class ExportTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.Write("BlockList.txt", "tracker.example\n*.wild.example\nads.example:8080\n/banners/\nkept.example\n"
                                    "~kept.example/ok/\n");
        dir_.Write("UserTrust.txt", "good.tracker.example\n");
    }
    std::string Export(const std::string& rest) const { return "export --lists " + dir_.path().string() + " " + rest; }
    std::string File(const char* name) const { return (dir_.path() / name).string(); }
    std::string Read(const char* name) const {
        std::ifstream in(dir_.path() / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    testing::TempDir dir_;
};

TEST_F(ExportTool, WritesToStandardOutputAndReportsOnStandardError) {
    const auto r = RunTool(Export("--format hosts --report " + File("r.txt")));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "0.0.0.0 tracker.example\n");
    EXPECT_NE(Read("r.txt").find("names written: 1 (1 records)\n"), std::string::npos) << Read("r.txt");
    const auto report = RunTool(Export("--format unbound"));
    EXPECT_NE(report.out.find("  a port: 1\n  a path: 1\n  kept in use by a trust or exception line: 1\n"),
              std::string::npos)
        << report.out;
    EXPECT_NE(report.out.find("as a name below them is kept in use: 1\n"), std::string::npos) << report.out;
}

TEST_F(ExportTool, EveryNameWrittenIsOneCheckRefusesAtLookup) {
    dir_.Write("UserTrust.txt", "");
    dir_.Write("UserBlock.txt", "mine.example\n~x.mine.example/p\n");
    const auto r = RunTool(Export("--format dnsmasq --report " + File("r.txt")));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "address=/tracker.example/\n");
    std::istringstream lines(RunTool(Export("--format rpz --report " + File("r.txt"))).out);
    int names = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" CNAME .") == std::string::npos) continue;
        std::string name = line.substr(0, line.find(' '));
        if (name.starts_with("*.")) name = "below." + name.substr(2);
        const auto check = RunTool("check --lists " + dir_.path().string() + " http://" + name + "/");
        EXPECT_TRUE(check.out.starts_with("refused at lookup")) << line << "\n" << check.out;
        ++names;
    }
    EXPECT_EQ(names, 4);  // mine, tracker, *.tracker, *.wild
}

TEST_F(ExportTool, ReplacesTheOutputAndRaisesTheSerialEachTime) {
    ASSERT_EQ(RunTool(Export("--format rpz --output " + File("z.rpz") + " --report " + File("r.txt"))).exitCode, 0);
    const std::string first = Read("z.rpz");
    EXPECT_NE(Read("r.txt").find("names written: 2 (2 records)\n"), std::string::npos) << Read("r.txt");
    ASSERT_EQ(RunTool(Export("--format rpz --output " + File("z.rpz"))).exitCode, 0);
    const std::string second = Read("z.rpz");
    auto serial = [](const std::string& zone) {
        std::istringstream words(zone.substr(zone.find(" SOA ") + 5));
        std::string mname, rname;
        unsigned long value = 0;
        words >> mname >> rname >> value;
        return value;
    };
    EXPECT_GT(serial(first), 1700000000ul);                  // at least the time, in seconds
    EXPECT_EQ(serial(second), serial(first) + 1) << second;  // even within one second
}

TEST_F(ExportTool, NoNameGivesAValidFileAndAWarning) {
    dir_.Write("BlockList.txt", "/banners/\n");
    const auto r = RunTool(Export("--format rpz --output " + File("z.rpz")));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("tamsel export: warning: the lists refuse no name"), std::string::npos) << r.out;
    EXPECT_NE(Read("z.rpz").find("IN NS localhost.\n"), std::string::npos);
}

TEST_F(ExportTool, AFailedWriteSaysSoAndLeavesWhatWasThere) {
    std::filesystem::create_directory(dir_.path() / "taken");
    dir_.Write("taken/inside", "kept\n");
    const auto r = RunTool(Export("--format unbound --output " + File("taken")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("tamsel export: cannot write " + File("taken")), std::string::npos) << r.out;
    EXPECT_EQ(Read("taken/inside"), "kept\n");
    EXPECT_EQ(RunTool(Export("--format unbound --output " + File("no/such/out.conf"))).exitCode, 1);
}

TEST_F(ExportTool, WrongCommandLinesAreUsageErrors) {
    for (const char* wrong :
         {"", "--format", "--format bind", "--format rpz --output", "--format rpz extra", "--format=hosts --report="}) {
        const auto r = RunTool(Export(wrong));
        EXPECT_EQ(r.exitCode, 2) << wrong;
        EXPECT_NE(r.out.find("Try \"tamsel export --help\""), std::string::npos) << wrong << ": " << r.out;
    }
    EXPECT_EQ(RunTool("export --format rpz --lists /no/such/folder").exitCode, 2);
    EXPECT_NE(RunTool("export --help").out.find("always_nxdomain"), std::string::npos);
}

}  // namespace
}  // namespace tamsel
