// The switch in its registry-format file.
#include "platform/posix/settings_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace tamsel {
namespace {

constexpr const char* kKeyLine = "[HKEY_CURRENT_USER\\Software\\Tamsel\\BHO]";

TEST(StatusValue, ReadsTheDwordOfTheKeyOnly) {
    EXPECT_EQ(FindStatusValue(""), std::nullopt);
    EXPECT_EQ(FindStatusValue("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Status\"=dword:00000001\n"),
              std::nullopt);
    EXPECT_EQ(FindStatusValue(std::string("REGEDIT4\r\n\r\n") + kKeyLine + "\r\n\"Status\"=dword:0000001f\r\n"), 0x1fu);
    // Key and value names are the registry's: case does not matter. Blanks
    // around "=" and other values are tolerated.
    EXPECT_EQ(FindStatusValue("REGEDIT4\n[hkey_current_user\\software\\tamsel\\bho]\n\"Other\"=\"x\"\n"
                              "  \"status\" = DWORD:FFFFFFFF\n"),
              0xffffffffu);
    EXPECT_EQ(FindStatusValue(std::string(kKeyLine) + "\n\"Status\"=\"1\"\n"), std::nullopt);  // a string
    EXPECT_EQ(FindStatusValue(std::string(kKeyLine) + "\n\"Status\"=dword:123456789\n"), std::nullopt);
    EXPECT_EQ(FindStatusValue(std::string(kKeyLine) + "\n\"Status\"=dword:1\n\"Status\"=-\n"), std::nullopt);
    EXPECT_EQ(FindStatusValue(std::string(kKeyLine) + "\n\"Status\"=dword:1\n\n" + kKeyLine +
                              "\n\"Status\"=dword:00000000\n"),
              0u);  // the last one counts
}

TEST(StatusValue, RewritingKeepsEverythingElse) {
    EXPECT_EQ(WithStatusValue("", 1), std::string("REGEDIT4\n\n") + kKeyLine + "\n\"Status\"=dword:00000001\n");
    const std::string crlf =
        std::string("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"A\"=\"b\"\r\n\r\n") + kKeyLine +
        "\r\n\"Keep\"=dword:00000002\r\n\"Status\"=dword:00000000\r\n";
    const std::string rewritten = WithStatusValue(crlf, 0xabc);
    std::string expected = crlf;
    expected.replace(expected.find("dword:00000000"), 14, "dword:00000abc");
    EXPECT_EQ(rewritten, expected);
    // The key present without the value: the value joins the key, in the
    // file's own line ends.
    const std::string noValue = std::string("REGEDIT4\r\n\r\n") + kKeyLine + "\r\n\"Keep\"=\"x\"\r\n";
    EXPECT_EQ(WithStatusValue(noValue, 1),
              std::string("REGEDIT4\r\n\r\n") + kKeyLine + "\r\n\"Status\"=dword:00000001\r\n\"Keep\"=\"x\"\r\n");
    for (const uint32_t v : {0u, 1u, 0xffffffffu}) {
        EXPECT_EQ(FindStatusValue(WithStatusValue(crlf, v)), v);
        EXPECT_EQ(FindStatusValue(WithStatusValue(noValue, v)), v);
    }
}

// Lines keep their own bytes and line ends through any number of writes,
// odd CRs included.
TEST(StatusValue, RewritingKeepsEveryLineByteForByte) {
    const std::string odd = std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"A\"=\"b\"\r\r\n") +
                            "\"C\"=\"d\"\r\n\r\r\n" + kKeyLine + "\r\r\n\"Status\"=dword:00000000\r\r\n\"Z\"=\"z\"\r";
    std::string text = odd;
    for (int i = 0; i < 3; ++i) text = WithStatusValue(text, 1);
    std::string expected = odd + "\n";  // only the open last line gains an end
    expected.replace(expected.find("dword:00000000"), 14, "dword:00000001");
    EXPECT_EQ(text, expected);
    // The key without the value, in a file of CR CR LF lines.
    const std::string crcr = std::string("REGEDIT4\r\r\n") + kKeyLine + "\r\r\n\"K\"=\"v\"\r\r\n";
    EXPECT_EQ(WithStatusValue(crcr, 1),
              std::string("REGEDIT4\r\r\n") + kKeyLine + "\r\r\n\"Status\"=dword:00000001\r\n\"K\"=\"v\"\r\r\n");
    EXPECT_EQ(FindStatusValue(WithStatusValue(crcr, 7)), 7u);
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        SaveEnv("XDG_CONFIG_HOME", &xdg_);
        SaveEnv("HOME", &home_);
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        RestoreEnv("XDG_CONFIG_HOME", xdg_);
        RestoreEnv("HOME", home_);
    }
    std::filesystem::path Folder() const { return dir_.path() / "Tamsel"; }
    std::string ReadBack() const {
        std::ifstream in(Folder() / "settings.reg", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    testing::TempDir dir_;

private:
    static void SaveEnv(const char* name, std::optional<std::string>* into) {
        if (const char* v = getenv(name)) *into = v;
    }
    static void RestoreEnv(const char* name, const std::optional<std::string>& value) {
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    std::optional<std::string> xdg_, home_;
};

TEST_F(SettingsFile, AMissingFileReadsZeroAndAWriteRoundTrips) {
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
    EXPECT_TRUE(ReadStoredSwitch().ok());          // no file yet is no fault to report
    ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(1));  // creates the folder
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 1u);
    EXPECT_EQ(ReadBack(), std::string("REGEDIT4\n\n") + kKeyLine + "\n\"Status\"=dword:00000001\n");
    ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(0));
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
    // Nothing of the temporary files is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder()), {}), 1);
}

TEST_F(SettingsFile, TheConfigFolderFollowsXdgThenHome) {
    EXPECT_EQ(SettingsFilePath(), (dir_.path() / "Tamsel" / "settings.reg").string());
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
    EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/Tamsel/settings.reg");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFilePath(), "/home/someone/.config/Tamsel/settings.reg");
    unsetenv("HOME");
    EXPECT_EQ(SettingsFilePath(), std::nullopt);
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
    EXPECT_FALSE(TheEnv().WriteAllowAdsSwitch(1));
}

TEST_F(SettingsFile, AFailedWriteLeavesTheOldFileWhole) {
    ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(1));
    const std::string before = ReadBack();
    // A file size limit below the new file's size fails the write itself,
    // for root as for anyone.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool written = TheEnv().WriteAllowAdsSwitch(0);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBack(), before);
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder()), {}), 1);  // no temporary left
}

TEST_F(SettingsFile, AFolderInThePlaceOfTheFileReadsZeroAndIsNotReplaced) {
    std::filesystem::create_directories(Folder() / "settings.reg");
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
    const Result<uint32_t> stored = ReadStoredSwitch();  // what the tool reports
    EXPECT_FALSE(stored.ok());
    EXPECT_EQ(stored.message(), std::strerror(EISDIR));
    EXPECT_FALSE(TheEnv().WriteAllowAdsSwitch(1));
    EXPECT_TRUE(std::filesystem::is_directory(Folder() / "settings.reg"));
}

// A FIFO in the file's place would hold every program at its start until
// some writer came; it reads as 0 at once, and is not written over.
TEST_F(SettingsFile, AFifoInThePlaceOfTheFileReadsZeroWithoutWaiting) {
    std::filesystem::create_directories(Folder());
    const std::string fifo = (Folder() / "settings.reg").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EXIT(
        {
            alarm(2);
            const Result<uint32_t> stored = ReadStoredSwitch();
            _exit(TheEnv().ReadAllowAdsSwitch() == 0 && stored.message() == "not a regular file" &&
                          !TheEnv().WriteAllowAdsSwitch(1)
                      ? 0
                      : 1);
        },
        ::testing::ExitedWithCode(0), "");
    struct stat info {};
    ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

}  // namespace
}  // namespace tamsel
