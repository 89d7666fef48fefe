// The module lock count: live AdFilter objects, LockServer locks and extra
// references to the class object. The module may unload only at 0.
#pragma once

#include <windows.h>

namespace tamsel {

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

}  // namespace tamsel
