// Module paths are taken whole, however long: the host check searches the
// executable's path, and a path cut at 260 characters could hide the name it
// looks for.
#include "platform/win32/module_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace tamsel {
namespace {

TEST(ModuleFileName, MatchesTheSystemsAnswerForTheProgram) {
    char buffer[4 * MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(ModuleFileName(nullptr), std::string(buffer, n));
    const auto wide = ModuleFileNameWide(nullptr);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->size(), n);
}

// A module loaded from a folder deeper than 260 characters keeps its whole
// path, the file name at its end included.
TEST(ModuleFileName, KeepsAPathLongerThanTheOldLimit) {
    wchar_t temp[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, temp);
    std::wstring folder = L"\\\\?\\" + std::wstring(temp, n) + L"tamsel-long-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (int i = 0; i < 3; ++i) {
        folder += L"\\" + std::wstring(100, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    }
    const std::wstring copy = folder + L"\\explorer.exe.dll";
    const auto self = ModuleFileNameWide(nullptr);
    ASSERT_TRUE(self);
    // The program itself serves as the module: loading a program's file as
    // a library maps it without running it.
    ASSERT_TRUE(CopyFileW((L"\\\\?\\" + *self).c_str(), copy.c_str(), FALSE));
    const HMODULE module = LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    const auto path = module ? ModuleFileName(module) : std::nullopt;
    if (module) FreeLibrary(module);
    DeleteFileW(copy.c_str());
    for (std::wstring f = folder; f.size() > n + 4; f.erase(f.rfind(L'\\'))) RemoveDirectoryW(f.c_str());
    if (module == nullptr) GTEST_SKIP() << "this system loads no module from a path that long";
    ASSERT_TRUE(path);
    EXPECT_GT(path->size(), 300u);
    EXPECT_TRUE(path->ends_with("\\explorer.exe.dll")) << *path;
}

}  // namespace
}  // namespace tamsel
