// The hook engine on a module of the test's own: an export entry that holds
// the replacement's offset, one that leads through a jump stub (forced, and
// on x86_64 because the replacement lies out of the entry's reach), and a
// route refused because no stub fits, which leaves every table as it was.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "intercept/win32/hook_engine.h"
#include "runtime/refusal_log.h"
#include "support/temp_dir.h"

// Bound by import: the engine rewrites this program's import entries too.
extern "C" __declspec(dllimport) int RouteTargetA();
extern "C" __declspec(dllimport) int RouteTargetB();
extern "C" __declspec(dllimport) int RouteTargetC();
extern "C" __declspec(dllimport) int RouteTargetD();

namespace tamsel::hook {
namespace {

using Function = int (*)();

constexpr char kModule[] = "route_target.dll";

// The replacement in this program, which lies below the module: an export
// entry, an offset upwards from the module's base, reaches it only where
// offsets wrap (i686).
__attribute__((noinline)) int ProgramReplacement() { return 200; }

uintptr_t Word(const void* address) { return reinterpret_cast<uintptr_t>(address); }

HMODULE Module() { return GetModuleHandleA(kModule); }

void* Export(const char* name) { return reinterpret_cast<void*>(GetProcAddress(Module(), name)); }

uintptr_t ImageEnd() {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Module());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const BYTE*>(dos) + dos->e_lfanew);
    return Word(Module()) + nt->OptionalHeader.SizeOfImage;
}

RouteResult Route(const char* name, void* replacement, const Reach& reach = {}) {
    return RouteExport({kModule, name, Export(name), replacement}, reach);
}

// Executable code that no one may write over.
bool IsCode(void* address) {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(address, &region, sizeof region) == 0) return false;
    return region.Protect == PAGE_EXECUTE_READ || region.Protect == PAGE_EXECUTE;
}

TEST(HookEngineTest, AReplacementInReachIsHeldByTheExportEntryItself) {
    ASSERT_NE(Module(), nullptr);
    const auto replacement = Export("RouteTargetReplacement");
    const RouteResult result = Route("RouteTargetA", replacement);
    EXPECT_EQ(result.exportEntries, 1);
    EXPECT_EQ(result.stubEntries, 0);
    EXPECT_GE(result.importEntries, 1) << "this program's import of it";
    EXPECT_EQ(Export("RouteTargetA"), replacement);
    EXPECT_EQ(RouteTargetA(), 100);
}

TEST(HookEngineTest, AForcedStubLiesWithinReachPastTheImageAndJumpsToTheReplacement) {
    const Reach reach{.alwaysStub = true};
    const RouteResult result = Route("RouteTargetB", reinterpret_cast<void*>(&ProgramReplacement), reach);
    EXPECT_EQ(result.exportEntries, 1);
    EXPECT_EQ(result.stubEntries, 1);
    void* const stub = Export("RouteTargetB");
    ASSERT_NE(stub, reinterpret_cast<void*>(&ProgramReplacement));
    // Its offset as the loader adds it (wrapping on i686): past the image,
    // within reach.
    const uintptr_t offset = Word(stub) - Word(Module());
    EXPECT_GE(offset, ImageEnd() - Word(Module()));
    EXPECT_LT(offset, reach.limit);
    EXPECT_TRUE(IsCode(stub));
    EXPECT_EQ(reinterpret_cast<Function>(stub)(), 200);
    EXPECT_EQ(RouteTargetB(), 200) << "the import entry holds the replacement itself";
    EXPECT_EQ(ResolveExport(kModule, "RouteTargetB"), reinterpret_cast<void*>(&ProgramReplacement))
        << "a stub is seen through, so no replacement takes it for the real function";
}

TEST(HookEngineTest, AReplacementOutOfReachIsReachedThroughAStub) {
    const uintptr_t distance = Word(reinterpret_cast<void*>(&ProgramReplacement)) - Word(Module());
    const bool outOfReach = distance >= kExportReach;
    EXPECT_EQ(outOfReach, sizeof(void*) == 8) << "the module lies above this program; offsets wrap on i686 only";
    const RouteResult result = Route("RouteTargetC", reinterpret_cast<void*>(&ProgramReplacement));
    EXPECT_EQ(result.exportEntries, 1);
    EXPECT_EQ(result.stubEntries, outOfReach ? 1 : 0);
    EXPECT_EQ(reinterpret_cast<Function>(Export("RouteTargetC"))(), 200);
    EXPECT_EQ(RouteTargetC(), 200);
}

TEST(HookEngineTest, WithoutRoomForAStubNothingIsRoutedAndTheLogSaysSo) {
    const testing::TempDir folder;
    const std::string log = (folder.path() / "refusals.log").string();
    NameRefusalLog(log, "hook_engine_test.exe");
    void* const real = Export("RouteTargetD");
    // A reach that ends where the image does leaves no room above it.
    const Reach reach{.alwaysStub = true, .limit = ImageEnd() - Word(Module())};
    const RouteResult result = Route("RouteTargetD", reinterpret_cast<void*>(&ProgramReplacement), reach);
    NameRefusalLog(std::nullopt, "");
    EXPECT_TRUE(result.unreachable);
    EXPECT_EQ(result.exportEntries, 0);
    EXPECT_EQ(result.importEntries, 0) << "routing the imports alone would filter some callers only";
    EXPECT_EQ(Export("RouteTargetD"), real);
    EXPECT_EQ(RouteTargetD(), 4);

    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    const std::optional<LogRecord> line = ParseLogLine(text.str());
    ASSERT_TRUE(line.has_value()) << text.str();
    EXPECT_EQ(line->verdict, kHookNotInstalled);
    EXPECT_EQ(line->subject, "route_target.dll!RouteTargetD");
    EXPECT_EQ(line->program, "hook_engine_test.exe");
}

}  // namespace
}  // namespace tamsel::hook
