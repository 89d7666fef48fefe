// tamsel check and tamsel inspect, run as programs against lists on disk.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "cli/run_tool.h"
#include "intercept/client_hello_fixtures.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

using testing::RunTool;

class CheckTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.Write("BlockList.txt", "# shipped\nads.x\n/banners/\n~ads.x/keep/\n");
        dir_.Write("UserBlock.txt", "mine.y:8080\n");
        dir_.Write("UserTrust.txt", "good.ads.x\n");
        // The stored switch is read from here, never from the user's own.
        ::setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
    }
    std::string Lists() const { return "--lists " + dir_.path().string() + " "; }
    std::string Check() const { return "check " + Lists(); }
    std::string File(const char* name) const { return (dir_.path() / name).string(); }

    testing::TempDir dir_;
};

TEST_F(CheckTool, NamesTheDecidingLine) {
    const auto r = RunTool(Check() + "http://AD.ads.x/a.gif http://good.ads.x/ http://ads.x/keep/1 "
                                     "http://mine.y:8080/ http://mine.y/ /banners/a.gif");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "refused http://AD.ads.x/a.gif  " + File("BlockList.txt") +
                         ":2 ads.x\n"
                         "trusted http://good.ads.x/  " +
                         File("UserTrust.txt") +
                         ":1 good.ads.x\n"
                         "passed  http://ads.x/keep/1  " +
                         File("BlockList.txt") +
                         ":4 ~ads.x/keep/\n"
                         "refused http://mine.y:8080/  " +
                         File("UserBlock.txt") +
                         ":1 mine.y:8080\n"
                         "passed  http://mine.y/\n"
                         "refused /banners/a.gif  " +
                         File("BlockList.txt") + ":3 /banners/\n");
}

TEST_F(CheckTool, SaysWhichStageRefuses) {
    dir_.Write("BlockList.txt", "whole.z\npath.z/x\nads.x\n~ads.x/keep/\nport.z:8443\n");
    dir_.Write("UserTrust.txt", "good.whole.z/only/\n");
    const auto r = RunTool(Check() + "http://a.whole.z/x https://path.z/x https://ads.x/y https://port.z:8443/ "
                                     "https://good.whole.z/only/");
    const std::string block = File("BlockList.txt");
    EXPECT_EQ(r.out, "refused at lookup http://a.whole.z/x  " + block +
                         ":1 whole.z\n"
                         "refused https://path.z/x  " +
                         block +
                         ":2 path.z/x\n"
                         "passed by server name https://path.z:443/\n"
                         // The exception lets https://ads.x/keep/ through, so the name must pass.
                         "refused https://ads.x/y  " +
                         block +
                         ":3 ads.x\n"
                         "passed by server name https://ads.x:443/\n"
                         "refused https://port.z:8443/  " +
                         block +
                         ":5 port.z:8443\n"
                         "refused by server name https://port.z:8443/  " +
                         block +
                         ":5 port.z:8443\n"
                         // A trust line with a path keeps the name from both name filters.
                         "trusted https://good.whole.z/only/  " +
                         File("UserTrust.txt") +
                         ":1 good.whole.z/only/\n"
                         "passed by server name https://good.whole.z:443/\n");
}

TEST_F(CheckTool, EveryAnswerSaysWhenAdvertisementsAreAllowed) {
    ASSERT_EQ(RunTool("allow on").exitCode, 0);
    const auto r = RunTool(Check() + "http://ads.x/ https://n.q/");
    EXPECT_EQ(r.out, "refused http://ads.x/  " + File("BlockList.txt") +
                         ":2 ads.x  (advertisements are allowed: not enforced)\n"
                         "passed  https://n.q/  (advertisements are allowed: not enforced)\n"
                         "passed by server name https://n.q:443/  (advertisements are allowed: not enforced)\n");
    ASSERT_EQ(RunTool("allow off").exitCode, 0);
    EXPECT_EQ(RunTool(Check() + "http://n.q/").out, "passed  http://n.q/\n");
}

TEST_F(CheckTool, ABrokenListIsNamedAndIgnored) {
    dir_.Write("UserBlock.txt", "one.z\n\nbad/(\n");
    const auto r = RunTool(Check() + "http://one.z/");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find(File("UserBlock.txt") + ":3: bad path pattern \"/(\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("passed  http://one.z/"), std::string::npos) << r.out;
}

// Lines that would crash or stall every program loading the list are named
// with the reason, as any other line that cannot load.
TEST_F(CheckTool, HostileLinesAreNamedWithTheReason) {
    const std::pair<std::string, const char*> cases[] = {
        {"/(a*){1,32767}", "already repeated"},
        {"/a" + std::string(24, '+'), "already repeated"},
        {"/a{32767}{32767}", "above 255"},
        {"/(.*){1,16000}x", "already repeated"},
        {"/" + std::string(60, '*') + "\\{" + std::string(60, '*'), "already repeated"},
    };
    for (const auto& [line, reason] : cases) {
        dir_.Write("UserBlock.txt", "one.z\n" + line + "\n");
        const auto r = RunTool(Check() + "http://one.z/");
        EXPECT_EQ(r.exitCode, 0) << line;
        EXPECT_NE(r.out.find(File("UserBlock.txt") + ":2: bad path pattern"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(reason), std::string::npos) << r.out;
    }
}

// Bytes from a list or the command line reach the terminal escaped.
TEST_F(CheckTool, ControlBytesAreEscaped) {
    dir_.Write("UserBlock.txt", "x/\x1b]0;t\x07(\n");
    dir_.Write("UserTrust.txt", "x.z/\x1b"
                                "c\n");
    const auto r = RunTool(Check() + "\"$(printf 'http://x.z/\\033c')\"");
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("bad path pattern \"/\\x1b]0;t\\x07(\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("trusted http://x.z/\\x1bc  " + File("UserTrust.txt") + ":1 x.z/\\x1bc"), std::string::npos)
        << r.out;
}

TEST_F(CheckTool, UsageErrors) {
    EXPECT_EQ(RunTool(Check()).exitCode, 2);
    EXPECT_EQ(RunTool("check --lists /no/such/folder http://a/").exitCode, 2);
    EXPECT_EQ(RunTool("check --lists").exitCode, 2);
    EXPECT_EQ(RunTool("frobnicate").exitCode, 2);
    EXPECT_EQ(RunTool("").exitCode, 2);
    const auto help = RunTool("check --help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: tamsel check"), std::string::npos);
}

TEST_F(CheckTool, InspectJudgesRawBytes) {
    const std::string lists = "inspect " + Lists();
    auto inspect = [&](const std::string& bytes) { return RunTool(lists + "-", bytes).out; };
    EXPECT_EQ(inspect("GET /a HTTP/1.1\\r\\nHost:  b.ads.x  \\r\\n\\r\\n"),
              "refused b.ads.x:80/a  " + File("BlockList.txt") + ":2 ads.x\n");
    EXPECT_EQ(inspect("get /x HTTP/1.0\\r\\nhost: mine.y:8080\\r\\n\\r\\n"),
              "refused mine.y:8080/x  " + File("UserBlock.txt") + ":1 mine.y:8080\n");
    EXPECT_EQ(inspect("HEAD /a HTTP/1.1\\r\\nHost: ads.x\\r\\n\\r\\n"),
              "passed  (not the head of a GET or POST request)\n");
    EXPECT_EQ(inspect("\\r\\nGET /a HTTP/1.1\\r\\nHost: ads.x\\r\\n\\r\\n"),
              "refused ads.x:80/a  " + File("BlockList.txt") + ":2 ads.x\n");
    EXPECT_EQ(inspect("GET /banners/a HTTP/1.1\\r\\n\\r\\n"), "passed  (no Host header)\n");
    EXPECT_EQ(inspect("GET /a HTTP/1.1\\r\\nHost: [::1]:80\\r\\n\\r\\n"), "passed  [::1]:80/a\n");
    EXPECT_EQ(inspect("GET /a HTTP/1.1\\r\\nHost: a:1:2\\r\\n\\r\\n"), "passed  (no host in \"GET /a HTTP/1.1\")\n");
    // A NUL before the Host header ends what the gate reads.
    EXPECT_EQ(inspect("GET /a HTTP/1.1\\r\\n\\0Host: ads.x\\r\\n\\r\\n"), "passed  (no Host header)\n");
    const std::string file = dir_.Write("head.bin", "POST /banners/up HTTP/1.1\r\nHost: h.q\r\n\r\n");
    EXPECT_EQ(RunTool(lists + file).out, "refused h.q:80/banners/up  " + File("BlockList.txt") + ":3 /banners/\n");
    EXPECT_EQ(RunTool(lists + file + ".missing").exitCode, 1);
}

TEST_F(CheckTool, InspectJudgesAClientHelloByItsServerName) {
    dir_.Write("UserBlock.txt", "ads.example\n");
    const std::string lists = "inspect " + Lists();
    const std::string& hello = fixtures::kHelloAdsExample;
    EXPECT_EQ(RunTool(lists + dir_.Write("hello.bin", hello)).out,
              "refused by server name https://ads.example:443/  " + File("UserBlock.txt") + ":1 ads.example\n");
    EXPECT_EQ(RunTool(lists + dir_.Write("cut.bin", hello.substr(0, 100))).out,
              "passed by server name (a ClientHello without a usable server name)\n");
}

}  // namespace
}  // namespace tamsel
