#include "com/win32/module_lock.h"

namespace tamsel {

namespace {
volatile LONG g_lockCount = 0;
}

void LockModule() { InterlockedIncrement(&g_lockCount); }
void UnlockModule() { InterlockedDecrement(&g_lockCount); }
LONG ModuleLockCount() { return InterlockedCompareExchange(&g_lockCount, 0, 0); }

}  // namespace tamsel
