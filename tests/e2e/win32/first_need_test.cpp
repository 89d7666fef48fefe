// Tamsel.dll loaded into this program: attach routes its sends at once but
// leaves the list files alone until the first request needs them, so nothing
// is read while the loader holds its lock.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "intercept/win32/loopback.h"
#include "platform/env.h"
#include "win32_support.h"

namespace tamsel::testing {
namespace {

std::string Request(const std::string& host) { return "GET /banner.gif HTTP/1.1\r\nHost: " + host + "\r\n\r\n"; }

TEST(FirstNeed, TheListsAreReadAtTheFirstRequestNotWhileTheModuleAttaches) {
    ASSERT_TRUE(TheEnv().WriteAllowAdsSwitch(0));
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, temp), 0u);
    const std::string folder = std::string(temp) + "tamsel-first-need-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string module = folder + "Tamsel.dll";
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "Tamsel.dll").c_str(), module.c_str(), FALSE));
    const std::string list = folder + "BlockList.txt";
    std::ofstream(list, std::ios::binary) << "ads.tamsel-test.example\r\n";

    // The list cannot be opened while the module attaches: a read there would
    // fail, and the file, unchanged since, would never be read again.
    const HANDLE held = CreateFileA(list.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const HMODULE loaded = LoadLibraryA(module.c_str());
    CloseHandle(held);
    ASSERT_NE(loaded, nullptr) << "error " << GetLastError();

    ExpectFiltered(&ProgramImportSend, Request("ads.tamsel-test.example"), Request("www.tamsel-test.example"));
    // The module pins itself once it hooks, so its copy stays; the list goes.
    DeleteFileA(list.c_str());
}

}  // namespace
}  // namespace tamsel::testing
