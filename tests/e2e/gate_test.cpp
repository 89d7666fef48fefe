// Real programs (curl, wget, python3, w3m) under `tamsel run`: names refused
// at lookup, TLS connections refused by server name against a loopback TLS
// server, and refused connections that end at once.
//
// The tool and the module are copied into a folder of the test's own, with
// lists the test writes. No name service runs here, so a test-only preload
// after the module resolves the .test and .example names to 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "child_process.h"
#include "recording_server.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

namespace fs = std::filesystem;
using testing::BackgroundChild;
using testing::ChildResult;
using testing::FindInPath;
using testing::RunChild;
using Env = std::map<std::string, std::optional<std::string>>;

const std::string kBody = "hello from the test server\n";

std::string Need(const std::string& program) {
    const auto path = FindInPath(program);
    return path ? *path : std::string();
}

#define REQUIRE_PROGRAM(name) \
    if (Need(name).empty()) GTEST_SKIP() << name " is not installed"

class Gate : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_.path() / "module");
        fs::copy_file(TAMSEL_TOOL, Tool());
        fs::copy_file(TAMSEL_PRELOAD_MODULE, dir_.path() / "module" / "libtamsel.so");
    }
    std::string Tool() const { return (dir_.path() / "module" / "tamsel").string(); }
    void Lists(const std::string& block, const std::string& trust = "", const std::string& userBlock = "") const {
        dir_.Write("module/BlockList.txt", block);
        dir_.Write("module/UserTrust.txt", trust);
        dir_.Write("module/UserBlock.txt", userBlock);
    }
    Env Environment() const {
        return {{"LD_PRELOAD", TAMSEL_FAKE_RESOLVER}, {"XDG_CONFIG_HOME", (dir_.path() / "config").string()}};
    }
    // `argv` under `tamsel run`, with the program found on PATH.
    ChildResult Run(std::vector<std::string> argv, int timeoutSeconds = 30) const {
        argv[0] = Need(argv[0]);
        argv.insert(argv.begin(), {Tool(), "run", "--"});
        return RunChild(argv, Environment(), timeoutSeconds);
    }
    void Allow(const char* value) const {
        const ChildResult r = RunChild({Tool(), "allow", value}, Environment());
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    static std::string Url(const std::string& host, int port, const std::string& path) {
        return "http://" + host + ":" + std::to_string(port) + path;
    }

    testing::TempDir dir_;
};

TEST_F(Gate, AWhollyRefusedHostCannotBeResolvedAndNoConnectionIsMade) {
    REQUIRE_PROGRAM("curl");
    REQUIRE_PROGRAM("wget");
    REQUIRE_PROGRAM("python3");
    testing::RecordingServer server(kBody);
    Lists("ads.example\npath.test/banners/\n");
    const std::string refusedUrl = Url("www.ads.example", server.port(), "/index.html");
    const ChildResult curl = Run({"curl", "-sS", "--max-time", "10", refusedUrl});
    EXPECT_EQ(curl.exitCode, 6) << curl.err;  // curl's "could not resolve host"
    EXPECT_NE(curl.err.find("Could not resolve host: www.ads.example"), std::string::npos) << curl.err;
    const ChildResult wget = Run({"wget", "-O", "-", refusedUrl});  // retries would take minutes
    EXPECT_EQ(wget.exitCode, 4) << wget.err;
    EXPECT_NE(wget.err.find("unable to resolve host address"), std::string::npos) << wget.err;
    const ChildResult python = Run({"python3", TAMSEL_URL_CLIENT, refusedUrl});
    EXPECT_EQ(python.exitCode, 5) << python.err;
    EXPECT_TRUE(server.Connections().empty());

    // A host with only a path line is resolved; the send filter judges each request.
    const std::string passing = Url("path.test", server.port(), "/index.html");
    const std::string refusedPath = Url("path.test", server.port(), "/banners/a.gif");
    EXPECT_EQ(Run({"curl", "-sS", passing}).out, kBody);
    EXPECT_EQ(Run({"curl", "-sS", refusedPath}).exitCode, 55);
    EXPECT_EQ(Run({"wget", "-q", "-O", "-", passing}).out, kBody);
    EXPECT_NE(Run({"wget", "-q", "-t", "1", "-O", "-", refusedPath}).exitCode, 0);
    EXPECT_EQ(Run({"python3", TAMSEL_URL_CLIENT, passing}).out, kBody);
    EXPECT_EQ(Run({"python3", TAMSEL_URL_CLIENT, refusedPath}).exitCode, 3);
    const auto got = server.Connections();
    ASSERT_EQ(got.size(), 6u);
    for (size_t i = 0; i < got.size(); i += 2) {
        EXPECT_NE(got[i].find("GET /index.html"), std::string::npos) << i;
        EXPECT_EQ(got[i + 1], "") << i;
    }
}

// A TLS server on 127.0.0.1 with a certificate made for the test, logging
// one line per connection (see tls_server.py).
class TlsGate : public Gate {
protected:
    void SetUp() override {
        Gate::SetUp();
        if (Need("openssl").empty() || Need("python3").empty()) GTEST_SKIP() << "openssl and python3 are needed";
        const std::string folder = dir_.path().string();
        const ChildResult made = RunChild(
            {Need("openssl"), "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", folder + "/key.pem", "-out", Cert(), "-days", "1", "-subj", "/CN=tamsel test", "-addext",
             "subjectAltName=DNS:ads.example,DNS:www.news.test,DNS:port.example"},
            {});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        server_ =
            std::make_unique<BackgroundChild>(std::vector<std::string>{Need("python3"), TAMSEL_TLS_SERVER, Cert(),
                                                                       folder + "/key.pem", folder + "/port", Log()},
                                              Env{});
        for (int i = 0; i < 100 && !fs::exists(folder + "/port"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::ifstream(folder + "/port") >> port_;
        ASSERT_GT(port_, 0);
    }
    std::string Cert() const { return (dir_.path() / "cert.pem").string(); }
    std::string Log() const { return (dir_.path() / "server.log").string(); }
    std::string Https(const std::string& host) const { return "https://" + host + ":" + std::to_string(port_) + "/"; }
    std::string Resolve(const std::string& host) const { return host + ":" + std::to_string(port_) + ":127.0.0.1"; }
    ChildResult Curl(const std::string& host) const {
        return Run({"curl", "-sS", "--max-time", "10", "--cacert", Cert(), "--resolve", Resolve(host), Https(host)});
    }
    // The server's log once it holds `lines` lines (or after five seconds).
    std::string ServerLog(size_t lines) const {
        std::string text;
        for (int i = 0; i < 100; ++i) {
            std::ifstream in(Log());
            std::stringstream all;
            all << in.rdbuf();
            text = all.str();
            if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return text;
    }

    std::unique_ptr<BackgroundChild> server_;
    int port_ = 0;
};

TEST_F(TlsGate, CurlResolvingTheNameItselfIsRefusedByServerName) {
    REQUIRE_PROGRAM("curl");
    Lists("ads.example\n");
    const ChildResult refused = Curl("ads.example");
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("Software caused connection abort"), std::string::npos) << refused.err;
    const ChildResult ordinary = Curl("www.news.test");
    EXPECT_EQ(ordinary.exitCode, 0) << ordinary.err;
    EXPECT_EQ(ordinary.out, "hello over tls\n");
    EXPECT_EQ(ServerLog(2), "empty\nserved www.news.test\n");
}

TEST_F(TlsGate, TheShippedListRefusesAnAdHostAtLookupAndByServerName) {
    REQUIRE_PROGRAM("curl");
    Lists("");
    fs::copy_file(fs::path(TAMSEL_TOOL).parent_path() / "BlockList.txt", dir_.path() / "module" / "BlockList.txt",
                  fs::copy_options::overwrite_existing);
    const ChildResult lookup = Run({"curl", "-sS", "--cacert", Cert(), Https("ad.doubleclick.net")});
    EXPECT_EQ(lookup.exitCode, 6) << lookup.err;
    EXPECT_NE(lookup.err.find("Could not resolve host: ad.doubleclick.net"), std::string::npos) << lookup.err;
    const ChildResult named = Curl("ad.doubleclick.net");
    EXPECT_NE(named.err.find("Software caused connection abort"), std::string::npos) << named.err;
    EXPECT_EQ(Curl("www.news.test").out, "hello over tls\n");
    EXPECT_EQ(ServerLog(2), "empty\nserved www.news.test\n");
}

TEST_F(TlsGate, WgetAndPythonAreRefusedByServerNameAndPort) {
    REQUIRE_PROGRAM("wget");
    // A line with a port refuses no lookup: the name resolves, and the
    // ClientHello decides.
    Lists("port.example:" + std::to_string(port_) + "\n");
    const ChildResult wget =
        Run({"wget", "-q", "-t", "1", "--ca-certificate=" + Cert(), "-O", "-", Https("port.example")});
    EXPECT_NE(wget.exitCode, 0);
    const ChildResult python = Run({"python3", TAMSEL_URL_CLIENT, Https("port.example"), Cert()});
    EXPECT_EQ(python.exitCode, 3) << python.err;
    const ChildResult ordinary = Run({"wget", "-q", "--ca-certificate=" + Cert(), "-O", "-", Https("www.news.test")});
    EXPECT_EQ(ordinary.out, "hello over tls\n") << ordinary.err;
    const ChildResult pythonOrdinary = Run({"python3", TAMSEL_URL_CLIENT, Https("www.news.test"), Cert()});
    EXPECT_EQ(pythonOrdinary.out, "hello over tls\n") << pythonOrdinary.err;
    EXPECT_EQ(ServerLog(4), "empty\nempty\nserved www.news.test\nserved www.news.test\n");
}

TEST_F(TlsGate, TheTrustListAndAllowingAdsLetTheNameThrough) {
    REQUIRE_PROGRAM("curl");
    Lists("ads.example\n", "ads.example\n");
    EXPECT_EQ(Curl("ads.example").out, "hello over tls\n");
    Lists("ads.example\n");
    Allow("on");
    EXPECT_EQ(Curl("ads.example").out, "hello over tls\n");
    Allow("off");
    EXPECT_NE(Curl("ads.example").exitCode, 0);
    EXPECT_EQ(ServerLog(3), "served ads.example\nserved ads.example\nempty\n");
}

// A client that ignores the failed send and waits for an answer must see
// the end of the connection at once instead of waiting for ever.
TEST_F(Gate, W3mEndsByItselfWhenItsRequestIsRefused) {
    REQUIRE_PROGRAM("w3m");
    testing::RecordingServer server(kBody);
    Lists("/banners/\n");
    const auto start = std::chrono::steady_clock::now();
    const ChildResult r = Run({"w3m", "-dump", Url("127.0.0.1", server.port(), "/banners/page.html")}, 20);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(r.exitCode, -1) << "w3m was still waiting after 20 seconds";
    // The server gives up on a silent connection after five seconds; w3m
    // must not have waited for that.
    EXPECT_LT(seconds, 3.0);
    EXPECT_EQ(server.Connections(), std::vector<std::string>{""});
}

// Wholly refused ad hosts fail at the lookup, which wget takes as final: a
// page with three of them takes about as long as the same page without.
// Were they left to the send filter, wget would retry each refused send.
TEST_F(Gate, WgetPageRequisitesOnRefusedHostsCostNoRetries) {
    REQUIRE_PROGRAM("wget");
    Lists("adnet.example\n");
    testing::RecordingServer adServer(kBody);
    std::string ads;
    for (const char* host : {"a", "b", "c"}) {
        ads += "<img src=\"" + Url(std::string(host) + ".adnet.example", adServer.port(), "/ad.gif") + "\">";
    }
    auto fetch = [&](const std::string& images) {
        testing::RecordingServer server("<html><body>" + images + "<p>news</p></body></html>\n");
        const auto start = std::chrono::steady_clock::now();
        const ChildResult r = Run({"wget", "-p", "-H", "-nv", "-P", (dir_.path() / "pages").string(),
                                   Url("www.news.test", server.port(), "/page.html")},
                                  60);
        EXPECT_NE(r.exitCode, -1) << r.err;
        EXPECT_EQ(server.Connections().size(), 1u) << r.err;
        return std::make_pair(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), r.err);
    };
    const auto [without, quiet] = fetch("");
    const auto [with, said] = fetch(ads);
    std::printf("wget -p: %.2f s without the ad images, %.2f s with three on refused hosts\n", without, with);
    EXPECT_LT(with, without + 2.0);
    EXPECT_NE(said.find("unable to resolve host address"), std::string::npos) << said;
    EXPECT_TRUE(adServer.Connections().empty());
}

}  // namespace
}  // namespace tamsel
