// The entry point of Tamsel.dll: the attach and detach sequences.
//
// Both run under the loader's lock, so they stay light. Attach reads two
// registry values and routes send; the socket modules it routes are imports
// of this one, loaded and started before it attaches, so the hook engine's
// look-up only takes another reference on them. The lists wait for the
// first request or the first page filtered.
#include <windows.h>

#include <atomic>

#include "base/boundary.h"
#include "dll/com_module.h"
#include "intercept/win32/send_hook.h"
#include "platform/win32/log_setting.h"
#include "platform/win32/module_file.h"
#include "platform/win32/module_instance.h"
#include "runtime/attach.h"

namespace tamsel {

namespace {

// Set only by an accepted attach: a refused one leaves nothing for detach
// to undo, and the COM server it never started must not be ended.
std::atomic<bool> g_attached{false};

void InstallHookForThisProcess() { InstallSendHook(GetCurrentProcessId()); }

bool Attach(HINSTANCE instance) {
    SetModuleInstance(instance);
    // The whole path is searched, however long: a path cut at 260 characters
    // could hide the name the check looks for. Without a path there is
    // nothing to check, and the module stays out.
    const auto executable = ModuleFileName(nullptr);
    if (!executable) return false;
    AttachHost host;
    host.executablePath = *executable;
    host.installSendHook = &InstallHookForThisProcess;
    host.logPath = &ReadLogFileSetting;
    host.logQueries = &ReadLogQueriesSetting;
    if (!AttachModule(host)) return false;
    DisableThreadLibraryCalls(instance);
    g_attached.store(true);
    return true;
}

void Detach() {
    if (!g_attached.exchange(false)) return;
    DetachModule();
    EndComModule();
}

}  // namespace

}  // namespace tamsel

// Out of memory while attaching: the loader is told the module could not
// start, rather than left with one that filters half set up.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) noexcept {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return tamsel::AtBoundary(FALSE, [&] { return tamsel::Attach(instance) ? TRUE : FALSE; });
        case DLL_PROCESS_DETACH:
            // The process is ending: its other threads were stopped wherever
            // they were, perhaps holding the lists' writer lock or inside a
            // reader's window, so freeing could wait for ever. The memory
            // goes with the process.
            if (reserved != nullptr) return TRUE;
            return tamsel::AtBoundary(TRUE, [] {
                tamsel::Detach();
                return TRUE;
            });
        default: return TRUE;
    }
}
