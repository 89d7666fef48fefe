// The AllowAds switch against the real registry of the Wine prefix.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "platform/env.h"
#include "platform/win32/log_setting.h"

namespace tamsel {
namespace {

constexpr char kKey[] = "Software\\Tamsel\\BHO";
constexpr char kValue[] = "Status";

class SettingsRegistryTest : public ::testing::Test {
protected:
    // The prefix is the tests' own; the suites that touch the switch hold a
    // common lock (see CMakeLists.txt) and leave it absent.
    void SetUp() override { SHDeleteKeyA(HKEY_CURRENT_USER, kKey); }
    void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, kKey); }
    void Store(DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(SHSetValueA(HKEY_CURRENT_USER, kKey, kValue, type, data, size), ERROR_SUCCESS);
    }
};

TEST_F(SettingsRegistryTest, NoKeyReadsAsFilteringOn) {
    DWORD size = 0;
    ASSERT_NE(SHGetValueA(HKEY_CURRENT_USER, kKey, kValue, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
}

TEST_F(SettingsRegistryTest, WrittenValueReadsBackAsAFourByteDword) {
    for (const uint32_t value : {1u, 0u, 0xFFFFFFFFu, 7u}) {
        ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(value));
        EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), value);
        DWORD type = REG_NONE;
        DWORD stored = 0;
        DWORD size = sizeof stored;
        ASSERT_EQ(SHGetValueA(HKEY_CURRENT_USER, kKey, kValue, &type, &stored, &size), ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(size, 4u);
        EXPECT_EQ(stored, value);
    }
}

TEST_F(SettingsRegistryTest, ValueOfAnotherTypeOrSizeReadsAsFilteringOn) {
    const BYTE four[4] = {1, 0, 0, 0};
    const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    Store(REG_BINARY, four, sizeof four);
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
    Store(REG_QWORD, eight, sizeof eight);
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
    Store(REG_SZ, "1", 2);
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
    Store(REG_DWORD, four, 2);  // a truncated number
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 0u);
    // A well-formed value after all these is read again.
    ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(1));
    EXPECT_EQ(TheEnv().ReadAllowAdsSwitch(), 1u);
}

TEST_F(SettingsRegistryTest, TheLogFileIsAStringValueBesideTheSwitch) {
    EXPECT_FALSE(ReadLogFileSetting());  // no key: no log
    ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(0));
    EXPECT_FALSE(ReadLogFileSetting());  // the key, without the value
    const char path[] = "C:\\logs\\tamsel.log";
    ASSERT_EQ(SHSetValueA(HKEY_CURRENT_USER, kKey, "LogFile", REG_SZ, path, sizeof path), ERROR_SUCCESS);
    EXPECT_EQ(ReadLogFileSetting(), std::optional<std::string>(path));
    ASSERT_EQ(SHSetValueA(HKEY_CURRENT_USER, kKey, "LogFile", REG_SZ, "", 1), ERROR_SUCCESS);
    EXPECT_FALSE(ReadLogFileSetting());
    const DWORD number = 1;
    ASSERT_EQ(SHSetValueA(HKEY_CURRENT_USER, kKey, "LogFile", REG_DWORD, &number, sizeof number), ERROR_SUCCESS);
    EXPECT_FALSE(ReadLogFileSetting());
}

}  // namespace
}  // namespace tamsel
