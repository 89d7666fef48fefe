// The send replacement as a loaded module carries it: the exported table,
// read word by word from outside, and a hook that keeps its module in the
// process after the last FreeLibrary, so no send ever reaches unloaded code.
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

constexpr char kModule[] = "hook_module.dll";
const std::string kAdRequest = "GET /pixel HTTP/1.1\r\nHost: ads.example\r\n\r\n";
const std::string kOrdinaryRequest = "GET / HTTP/1.1\r\nHost: www.example\r\n\r\n";

HMODULE ModuleOf(uintptr_t address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(address), &module);
    return module;
}

template <typename T>
T Export(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class SendHookModuleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { module_ = LoadLibraryA(kModule); }

    void SetUp() override {
        ASSERT_NE(module_, nullptr);
        const void* table = Export<const void*>(module_, MAKEINTRESOURCEA(5));
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(table, Export<const void*>(module_, "ApiHookChain"));
        std::memcpy(words_, table, sizeof words_);
    }

    static HMODULE module_;
    uintptr_t words_[18] = {};
};

HMODULE SendHookModuleTest::module_ = nullptr;

TEST_F(SendHookModuleTest, ExportedTableLaidOutWordByWord) {
    EXPECT_EQ(words_[0], static_cast<uintptr_t>(-2));
    EXPECT_STREQ(reinterpret_cast<const char*>(words_[6]), "WSOCK32.DLL");
    EXPECT_STREQ(reinterpret_cast<const char*>(words_[7]), "send");
    EXPECT_EQ(words_[8], 0x100u);
    EXPECT_EQ(ModuleOf(words_[9]), module_) << "the real-send slot lies in the module's data";
    EXPECT_EQ(ModuleOf(words_[11]), module_) << "the replacement is the module's code";
    MEMORY_BASIC_INFORMATION code{};
    ASSERT_NE(VirtualQuery(reinterpret_cast<void*>(words_[11]), &code, sizeof code), 0u);
    EXPECT_NE(code.Protect & (PAGE_EXECUTE_READ | PAGE_EXECUTE | PAGE_EXECUTE_READWRITE), 0u);
    EXPECT_EQ(words_[12], static_cast<uintptr_t>(-1));
    for (const int zero : {1, 2, 3, 4, 5, 10, 13, 14, 15, 16, 17}) EXPECT_EQ(words_[zero], 0u) << "word " << zero;
}

TEST_F(SendHookModuleTest, InstalledHookKeepsItsModuleLoadedAfterTheLastFreeLibrary) {
    testing::StartWinsock();
    const auto slot = reinterpret_cast<SendFunction const*>(words_[9]);
    ASSERT_EQ(*slot, nullptr) << "nothing fills the slot before installation";
    ASSERT_EQ(Export<int (*)(const char*)>(module_, "HookModuleBlock")("ads.example\n"), 1);
    ASSERT_EQ(Export<int (*)()>(module_, "HookModuleInstall")(), 1);

    const auto replacement = reinterpret_cast<SendFunction>(words_[11]);
    EXPECT_NE(*slot, nullptr);
    EXPECT_NE(*slot, replacement);
    EXPECT_EQ(testing::JumpTarget(Export<SendFunction>(GetModuleHandleA("ws2_32.dll"), "send")), replacement);

    // The suite's own reference was the only one: the loader would unload
    // the module now, were it not pinned.
    ASSERT_TRUE(FreeLibrary(module_));
    EXPECT_EQ(GetModuleHandleA(kModule), module_);
    testing::ExpectFiltered(&testing::ProgramImportSend, kAdRequest, kOrdinaryRequest);
    testing::ExpectFiltered(Export<SendFunction>(GetModuleHandleA("wsock32.dll"), "send"), kAdRequest,
                            kOrdinaryRequest);
}

}  // namespace
}  // namespace tamsel
