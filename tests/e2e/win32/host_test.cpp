// Tamsel.dll in host processes: refused by the shell's executable, and in a
// browser's process filtering every send by the lists beside the module.
//
// The module is copied into a folder of the test's own, with lists the test
// writes, and registered there by regsvr32, so the lists are known exactly.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/env.h"
#include "win32_support.h"

namespace tamsel::testing {
namespace {

namespace fs = std::filesystem;

// The outcome bits host_probe reports for "send".
constexpr DWORD kCreated = 1, kBlockedRefused = 2, kBlockedArrived = 4, kTrustedArrived = 8, kOrdinaryArrived = 16,
                kHelloRefused = 32, kHelloArrived = 64, kLookupRefused = 128;

class HostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = fs::path(temp) / ("tamsel-host-" + std::to_string(GetCurrentProcessId()));
        const fs::path module = root_ / "module";
        fs::create_directories(module);
        fs::copy_file(ProgramFolder() + "Tamsel.dll", module / "Tamsel.dll");
        std::ofstream(module / "BlockList.txt") << "ads.tamsel-test.example\r\nads.example\r\nlocalhost\r\n";
        std::ofstream(module / "UserTrust.txt") << "ads.tamsel-test.example/trusted/\r\n";
        modulePath_ = (module / "Tamsel.dll").string();
        registered_ = RunProgram(Regsvr32("/s", modulePath_)) == 0u;
    }
    static void TearDownTestSuite() {
        RunProgram(Regsvr32("/u /s", modulePath_));
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    void SetUp() override {
        ASSERT_TRUE(registered_) << modulePath_;
        ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(0));
    }
    void TearDown() override { TheEnv().WriteAllowAdsSwitch(0); }

    // host_probe, copied to `relative` under the test's folder.
    static std::string Host(const std::string& relative) {
        const fs::path host = root_ / relative;
        fs::create_directories(host.parent_path());
        fs::copy_file(ProgramFolder() + "host_probe.exe", host, fs::copy_options::overwrite_existing);
        return "\"" + host.string() + "\"";
    }

    static fs::path root_;
    static std::string modulePath_;
    static bool registered_;
};

fs::path HostTest::root_;
std::string HostTest::modulePath_;
bool HostTest::registered_ = false;

TEST_F(HostTest, TheShellsExecutableCannotLoadTheModuleWhereverTheNameStands) {
    const std::string load = " load \"" + modulePath_ + "\"";
    EXPECT_EQ(RunProgram(Host("EXPLORER.EXE") + load), 20u);
    EXPECT_EQ(RunProgram(Host("shell\\explorer.exe") + load), 20u);
    EXPECT_EQ(RunProgram(Host("explorer.exe.old\\probe.exe") + load), 20u) << "in a folder name too";
    EXPECT_EQ(RunProgram(Host("iexplore.exe") + load), 0u);
    EXPECT_EQ(RunProgram(Host("probe.exe") + load), 0u);
}

TEST_F(HostTest, TheBrowsersSendsAreFilteredByTheListsBesideTheModule) {
    EXPECT_EQ(RunProgram(Host("browser\\iexplore.exe") + " send"),
              kCreated | kBlockedRefused | kTrustedArrived | kOrdinaryArrived | kHelloRefused | kLookupRefused);
}

TEST_F(HostTest, TheShellGetsNoFilterEvenThroughCom) {
    EXPECT_EQ(RunProgram(Host("shell\\explorer.exe") + " send"),
              kBlockedArrived | kTrustedArrived | kOrdinaryArrived | kHelloArrived);
}

TEST_F(HostTest, TheStoredSwitchAllowsEverything) {
    ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(1));
    EXPECT_EQ(RunProgram(Host("browser\\iexplore.exe") + " send"),
              kCreated | kBlockedArrived | kTrustedArrived | kOrdinaryArrived | kHelloArrived);
}

}  // namespace
}  // namespace tamsel::testing
