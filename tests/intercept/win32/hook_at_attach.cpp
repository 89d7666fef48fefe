// The entry point of a module that installs the send hook while the loader
// attaches it, under the loader lock, as Tamsel.dll's attach does.
#include "intercept/win32/send_hook.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) tamsel::InstallSendHook(GetCurrentProcessId());
    return TRUE;
}
