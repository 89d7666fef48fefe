// Real programs (curl, wget, python3) with libtamsel.so preloaded, talking
// to a server on 127.0.0.1 that records every byte it is sent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "recording_server.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

namespace fs = std::filesystem;
using testing::ChildResult;
using testing::FindInPath;
using testing::RunChild;
using Env = std::map<std::string, std::optional<std::string>>;

const std::string kBody = "hello from the test server\n";

class Preloaded : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(ModuleFolder());
        fs::copy_file(TAMSEL_PRELOAD_MODULE, Module());
        dir_.Write("module/BlockList.txt", "# test list\nads.test\n/banners/\n");
        dir_.Write("module/UserTrust.txt", "good.ads.test\n");
    }
    fs::path ModuleFolder() const { return dir_.path() / "module"; }
    std::string Module() const { return (ModuleFolder() / "libtamsel.so").string(); }
    // The user's settings live in the scratch folder, never the real one.
    Env Filtered(const std::string& module) const {
        return {{"LD_PRELOAD", module}, {"XDG_CONFIG_HOME", (dir_.path() / "config").string()}};
    }
    Env Filtered() const { return Filtered(Module()); }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server_.port()) + path;
    }

    static std::string Need(const std::string& program) {
        const auto path = FindInPath(program);
        return path ? *path : std::string();
    }
    ChildResult Curl(const std::string& host, const std::string& path, const Env& env,
                     std::string curl = Need("curl")) const {
        std::vector<std::string> argv = {curl, "-sS", "--max-time", "10"};
        if (!host.empty()) argv.insert(argv.end(), {"-H", "Host: " + host});
        argv.push_back(Url(path));
        return RunChild(argv, env);
    }
    ChildResult Python(const std::string& host, const std::string& path, const std::string& method,
                       const std::string& body = "") const {
        return RunChild({Need("python3"), TAMSEL_HTTP_CLIENT, std::to_string(server_.port()), host, path, method, body},
                        Filtered());
    }

    testing::TempDir dir_;
    mutable testing::RecordingServer server_{kBody};
};

#define REQUIRE_PROGRAM(name) \
    if (Need(name).empty()) GTEST_SKIP() << name " is not installed"

// One connection was made and not one byte came over it.
#define EXPECT_NOTHING_ARRIVED(server) EXPECT_EQ((server).Connections(), std::vector<std::string>{""})

TEST_F(Preloaded, CurlRefusedRequestsNeverReachTheServer) {
    REQUIRE_PROGRAM("curl");
    const ChildResult byHost = Curl("www.ads.test", "/index.html", Filtered());
    EXPECT_EQ(byHost.exitCode, 55) << byHost.err;  // curl's "failed sending network data"
    EXPECT_NE(byHost.err.find("abort"), std::string::npos) << byHost.err;
    EXPECT_EQ(byHost.out, "");
    EXPECT_NOTHING_ARRIVED(server_);
    const ChildResult byPath = Curl("", "/banners/top.gif", Filtered());
    EXPECT_EQ(byPath.exitCode, 55) << byPath.err;
    EXPECT_EQ(server_.Connections(), (std::vector<std::string>{"", ""}));
}

TEST_F(Preloaded, CurlPassingRequestsArriveByteForByte) {
    REQUIRE_PROGRAM("curl");
    const ChildResult plain = Curl("", "/index.html", {});
    const ChildResult filtered = Curl("", "/index.html", Filtered());
    const ChildResult trusted = Curl("good.ads.test", "/index.html", Filtered());
    EXPECT_EQ(filtered.exitCode, 0) << filtered.err;
    EXPECT_EQ(trusted.exitCode, 0) << trusted.err;
    EXPECT_EQ(filtered.out, kBody);
    const auto got = server_.Connections();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1], got[0]);  // exactly what curl sends without the module
    EXPECT_EQ(got[1].rfind("GET /index.html HTTP/1.1\r\nHost: 127.0.0.1:", 0), 0u) << got[1];
    EXPECT_NE(got[2].find("\r\nHost: good.ads.test\r\n"), std::string::npos) << got[2];
}

TEST_F(Preloaded, WgetIsFilteredToo) {
    REQUIRE_PROGRAM("wget");
    const auto wget = [&](const std::string& host) {
        std::vector<std::string> argv = {Need("wget"), "-q", "-O", "-", "--tries=1", "--timeout=10"};
        if (!host.empty()) argv.push_back("--header=Host: " + host);
        argv.push_back(Url("/page.html"));
        return RunChild(argv, Filtered());
    };
    const ChildResult refused = wget("ads.test");
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NOTHING_ARRIVED(server_);
    const ChildResult passed = wget("");
    EXPECT_EQ(passed.exitCode, 0) << passed.err;
    EXPECT_EQ(passed.out, kBody);
    EXPECT_EQ(server_.Connections().at(1).rfind("GET /page.html HTTP/1.1\r\n", 0), 0u);
}

TEST_F(Preloaded, PythonIsRefusedThroughEverySocketCall) {
    REQUIRE_PROGRAM("python3");
    for (const char* method : {"sendall", "write", "sendmsg", "urllib"}) {
        const ChildResult r = Python("ads.test", "/x.js", method);
        EXPECT_EQ(r.exitCode, 3) << method << ": " << r.out << r.err;
    }
    EXPECT_EQ(server_.Connections(), std::vector<std::string>(4, ""));
}

TEST_F(Preloaded, PythonPassingRequestsAndBodiesArriveByteForByte) {
    REQUIRE_PROGRAM("python3");
    // A body that names a refused host, sent in a call of its own, is no
    // request head and passes untouched.
    const std::string body = "host=ads.test&path=/banners/";
    for (const char* method : {"sendall", "write", "sendmsg"}) {
        const ChildResult r = Python("news.test", "/form", method, body);
        EXPECT_EQ(r.exitCode, 0) << method << ": " << r.err;
        EXPECT_EQ(r.out, kBody) << method;
    }
    const std::string expected =
        "POST /form HTTP/1.1\r\nHost: news.test\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    EXPECT_EQ(server_.Connections(), std::vector<std::string>(3, expected));
    const ChildResult library = Python("news.test", "/page", "urllib");
    EXPECT_EQ(library.exitCode, 0) << library.err;
    EXPECT_EQ(library.out, kBody);
}

// An upload whose body begins like a request to a listed host is sent whole:
// the body follows a head that announced its length.
TEST_F(Preloaded, PythonUploadsABodyThatLooksLikeARefusedRequest) {
    REQUIRE_PROGRAM("python3");
    const std::string body = "GET /notes HTTP/1.1\r\nHost: ads.test\r\n\r\n";
    for (const char* method : {"sendall", "sendmsg"}) {
        const ChildResult r = Python("news.test", "/notes", method, body);
        EXPECT_EQ(r.exitCode, 0) << method << ": " << r.err;
        EXPECT_EQ(r.out, kBody) << method;
    }
    const std::string expected =
        "POST /notes HTTP/1.1\r\nHost: news.test\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    EXPECT_EQ(server_.Connections(), std::vector<std::string>(2, expected));
}

// curl writes an IPv6 address in brackets in its Host header; the colons
// inside are no port, and the path is judged.
TEST_F(Preloaded, CurlToAnIpv6AddressIsJudgedByItsPath) {
    REQUIRE_PROGRAM("curl");
    testing::RecordingServer server6(kBody, testing::RecordingServer::Loopback::V6);
    const std::string base = "http://[::1]:" + std::to_string(server6.port());
    const ChildResult refused =
        RunChild({Need("curl"), "-g", "-sS", "--max-time", "10", base + "/banners/x.gif"}, Filtered());
    EXPECT_EQ(refused.exitCode, 55) << refused.err;
    const ChildResult passed =
        RunChild({Need("curl"), "-g", "-sS", "--max-time", "10", base + "/index.html"}, Filtered());
    EXPECT_EQ(passed.out, kBody) << passed.err;
    const auto got = server6.Connections();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "");
    EXPECT_NE(got[1].find("Host: [::1]:"), std::string::npos) << got[1];
}

TEST_F(Preloaded, AllowingAdsLetsEverythingThroughUntilSwitchedOff) {
    REQUIRE_PROGRAM("curl");
    const auto allow = [&](const char* value) {
        const ChildResult r = RunChild({TAMSEL_TOOL, "allow", value}, Filtered(""));
        EXPECT_EQ(r.exitCode, 0) << r.err;
    };
    allow("on");
    const ChildResult allowed = Curl("ads.test", "/index.html", Filtered());
    EXPECT_EQ(allowed.exitCode, 0) << allowed.err;
    EXPECT_EQ(allowed.out, kBody);
    allow("off");
    EXPECT_EQ(Curl("ads.test", "/index.html", Filtered()).exitCode, 55);
    const auto got = server_.Connections();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[0].find("\r\nHost: ads.test\r\n"), std::string::npos) << got[0];
    EXPECT_EQ(got[1], "");
}

TEST_F(Preloaded, AProgramWhosePathNamesExplorerExeIsLeftAlone) {
    REQUIRE_PROGRAM("curl");
    for (const char* folder : {"Explorer.EXE", "plain"}) {
        fs::create_directories(dir_.path() / folder);
        fs::copy_file(Need("curl"), dir_.path() / folder / "curl");
    }
    const ChildResult shell =
        Curl("ads.test", "/index.html", Filtered(), (dir_.path() / "Explorer.EXE" / "curl").string());
    EXPECT_EQ(shell.exitCode, 0) << shell.err;
    // The same copy elsewhere is filtered: the copy itself is not the reason.
    const ChildResult plain = Curl("ads.test", "/index.html", Filtered(), (dir_.path() / "plain" / "curl").string());
    EXPECT_EQ(plain.exitCode, 55) << plain.err;
    const auto got = server_.Connections();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[0].find("\r\nHost: ads.test\r\n"), std::string::npos);
    EXPECT_EQ(got[1], "");
}

TEST_F(Preloaded, ListsComeFromTheModulesOwnFolderEvenThroughALink) {
    REQUIRE_PROGRAM("curl");
    fs::create_directories(dir_.path() / "elsewhere");
    dir_.Write("elsewhere/BlockList.txt", "news.test\n");
    fs::create_symlink(Module(), dir_.path() / "elsewhere" / "libtamsel.so");
    const Env env = Filtered((dir_.path() / "elsewhere" / "libtamsel.so").string());
    EXPECT_EQ(Curl("ads.test", "/", env).exitCode, 55);
    EXPECT_EQ(Curl("news.test", "/", env).exitCode, 0);
    fs::remove(ModuleFolder() / "BlockList.txt");  // no list: nothing is refused
    EXPECT_EQ(Curl("ads.test", "/", Filtered()).exitCode, 0);
}

// Installed, the module reads the shipped list from share/tamsel and the
// user's two lists from the user's folder, as the tool does; TAMSEL_LISTS
// names one folder for all three.
TEST_F(Preloaded, InstalledModuleReadsTheShippedListAndTheUsersFolder) {
    REQUIRE_PROGRAM("curl");
    for (const char* folder : {"usr/lib/tamsel", "usr/share/tamsel", "config/tamsel"})
        fs::create_directories(dir_.path() / folder);
    const fs::path installed = dir_.path() / "usr/lib/tamsel/libtamsel.so";
    fs::copy_file(TAMSEL_PRELOAD_MODULE, installed);
    dir_.Write("usr/share/tamsel/BlockList.txt", "shipped.test\n");
    dir_.Write("config/tamsel/UserBlock.txt", "user.test\n");
    dir_.Write("config/tamsel/UserTrust.txt", "ok.shipped.test\n");
    Env env = Filtered(installed.string());
    env["TAMSEL_LISTS"] = std::nullopt;
    EXPECT_EQ(Curl("shipped.test", "/", env).exitCode, 55);
    EXPECT_EQ(Curl("user.test", "/", env).exitCode, 55);
    EXPECT_EQ(Curl("ok.shipped.test", "/", env).exitCode, 0);
    EXPECT_EQ(Curl("ads.test", "/", env).exitCode, 0);  // the list of the fixture's module folder
    env["TAMSEL_LISTS"] = ModuleFolder().string();
    EXPECT_EQ(Curl("ads.test", "/", env).exitCode, 55);
    EXPECT_EQ(Curl("user.test", "/", env).exitCode, 0);
}

// A FIFO would hold whoever opened it for reading until some writer came:
// in the settings' place, every program at its start; in a list's, the
// first request. Both are refused at once and the other lists still judge.
TEST_F(Preloaded, FifosInPlaceOfAListOrTheSettingsHoldNothingUp) {
    REQUIRE_PROGRAM("curl");
    ASSERT_EQ(mkfifo((ModuleFolder() / "UserBlock.txt").c_str(), 0600), 0);
    fs::create_directories(dir_.path() / "config" / "Tamsel");
    ASSERT_EQ(mkfifo((dir_.path() / "config" / "Tamsel" / "settings.reg").c_str(), 0600), 0);
    const ChildResult refused = Curl("www.ads.test", "/index.html", Filtered());
    EXPECT_EQ(refused.exitCode, 55) << refused.err;
    const ChildResult passed = Curl("", "/index.html", Filtered());
    EXPECT_EQ(passed.exitCode, 0) << passed.err;
    EXPECT_EQ(passed.out, kBody);
}

// A program that sets its locale from the environment judges request paths
// as bytes, whatever that locale: the same verdicts under C and UTF-8, and
// the same as `tamsel check` gives.
TEST_F(Preloaded, PathVerdictsDoNotFollowTheProgramsLocale) {
    REQUIRE_PROGRAM("python3");
    dir_.Write("module/UserBlock.txt", "/ads\n/a.b\n/is\n");
    const std::vector<std::string> paths = {"/a\xff"
                                            "b",
                                            "/a\xc3\xa9"
                                            "b",
                                            "/ad\xc5\xbf",
                                            "/\xc4\xb1s",
                                            "/ADS/x",
                                            "/IS",
                                            "/a\xc3"
                                            "b"};
    std::vector<std::string> argv = {Need("python3"), TAMSEL_REQUEST_DRIVER, "paths", std::to_string(server_.port())};
    for (const std::string& path : paths) {
        std::string hex;
        for (const char c : path) hex += "0123456789abcdef"[(c >> 4) & 15], hex += "0123456789abcdef"[c & 15];
        argv.push_back(hex);
    }
    std::string expected;
    for (const std::string& path : paths) {
        const ChildResult check =
            RunChild({TAMSEL_TOOL, "check", "--lists", ModuleFolder().string(), "http://any.test" + path}, {});
        expected += check.out.starts_with("refused") ? "refused\n" : check.out.starts_with("passed") ? "ok\n" : "?\n";
    }
    EXPECT_EQ(expected, "refused\nok\nok\nok\nrefused\nrefused\nrefused\n");
    for (const char* locale : {"C", "C.UTF-8"}) {
        Env env = Filtered();
        env["LC_ALL"] = locale;
        const ChildResult run = RunChild(argv, env);
        EXPECT_EQ(run.out, expected) << locale << ": " << run.err;
    }
}

class RunTool : public Preloaded {};

TEST_F(RunTool, RunsTheProgramUnderTheShippedList) {
    REQUIRE_PROGRAM("curl");
    const Env env = {{"XDG_CONFIG_HOME", (dir_.path() / "config").string()}};
    const ChildResult refused =
        RunChild({TAMSEL_TOOL, "run", "--", Need("curl"), "-sS", "-H", "Host: doubleclick.net", Url("/ad.js")}, env);
    EXPECT_EQ(refused.exitCode, 55) << refused.err;
    const ChildResult passed = RunChild({TAMSEL_TOOL, "run", "curl", "-sS", Url("/index.html")}, env);
    EXPECT_EQ(passed.exitCode, 0) << passed.err;
    EXPECT_EQ(passed.out, kBody);
    const auto got = server_.Connections();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "");
    EXPECT_EQ(got[1].rfind("GET /index.html HTTP/1.1\r\n", 0), 0u);
}

TEST_F(RunTool, KeepsTheUsersPreloadAndAnswersLikeAShell) {
    const fs::path module = fs::path(TAMSEL_TOOL).parent_path() / "libtamsel.so";
    const ChildResult env = RunChild({TAMSEL_TOOL, "run", "printenv", "LD_PRELOAD"}, {{"LD_PRELOAD", "libm.so.6"}});
    EXPECT_EQ(env.out, module.string() + ":libm.so.6\n") << env.err;
    const ChildResult missing = RunChild({TAMSEL_TOOL, "run", "--", "no-such-program-tamsel"}, {});
    EXPECT_EQ(missing.exitCode, 127);
    EXPECT_NE(missing.err.find("no-such-program-tamsel: command not found"), std::string::npos) << missing.err;
    const std::string notRunnable = dir_.Write("script.sh", "#!/bin/sh\n");  // no execute bit
    EXPECT_EQ(RunChild({TAMSEL_TOOL, "run", notRunnable}, {}).exitCode, 126);
    EXPECT_EQ(RunChild({TAMSEL_TOOL, "run"}, {}).exitCode, 2);
}

}  // namespace
}  // namespace tamsel
