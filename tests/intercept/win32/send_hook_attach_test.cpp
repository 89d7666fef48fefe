// A module whose entry point installs the send hook while the loader attaches
// it: installation must finish under the loader lock and route send at once.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "jump_target.h"
#include "loopback.h"

namespace tamsel {
namespace {

using testing::SendFunction;

template <typename T>
T Export(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

TEST(SendHookAttachTest, HookInstalledDuringAttachRoutesEverySend) {
    testing::StartWinsock();
    const HMODULE module = LoadLibraryA("hook_at_attach.dll");
    ASSERT_NE(module, nullptr);
    uintptr_t words[18];
    std::memcpy(words, Export<const void*>(module, MAKEINTRESOURCEA(5)), sizeof words);
    const auto replacement = reinterpret_cast<SendFunction>(words[11]);
    EXPECT_NE(*reinterpret_cast<SendFunction const*>(words[9]), nullptr);
    EXPECT_EQ(testing::JumpTarget(Export<SendFunction>(GetModuleHandleA("ws2_32.dll"), "send")), replacement);

    ASSERT_EQ(Export<int (*)(const char*)>(module, "HookModuleBlock")("ads.example\n"), 1);
    const std::string ad = "POST /collect HTTP/1.0\r\nHost: x.ads.example\r\n\r\n";
    const std::string ordinary = "POST /collect HTTP/1.0\r\nHost: www.example\r\n\r\n";
    testing::ExpectFiltered(&testing::ProgramImportSend, ad, ordinary);
    testing::ExpectFiltered(Export<SendFunction>(GetModuleHandleA("wsock32.dll"), "send"), ad, ordinary);
    // Installing again, as a second attach would, changes nothing.
    ASSERT_EQ(Export<int (*)()>(module, "HookModuleInstall")(), 1);
    EXPECT_EQ(testing::JumpTarget(Export<SendFunction>(GetModuleHandleA("ws2_32.dll"), "send")), replacement);
    testing::ExpectFiltered(&testing::ProgramImportSend, ad, ordinary);
}

}  // namespace
}  // namespace tamsel
