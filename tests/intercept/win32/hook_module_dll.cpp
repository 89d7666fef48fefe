// A module that carries the send replacement as Tamsel.dll does, with two
// entry points of its own for the test that loads and unloads it.
#include "intercept/win32/send_hook.h"
#include "runtime/shared_state.h"

extern "C" int HookModuleInstall() { return tamsel::InstallSendHook(GetCurrentProcessId()) ? 1 : 0; }

// This module's own shared state: the test program's is another one.
extern "C" int HookModuleBlock(const char* listText) {
    auto loaded = tamsel::ParsePatternListText(listText, "test");
    if (!loaded.ok()) return 0;
    tamsel::TheSharedState().Replace(tamsel::ListKind::ShippedBlock, std::move(loaded.value()));
    return 1;
}
