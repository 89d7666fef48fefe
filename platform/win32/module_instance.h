// The module's own instance handle: where dialogs, icons and the registry
// script are loaded from.
#pragma once

#include <windows.h>

namespace tamsel {

// Set by the attach sequence. Until then (a test program that links the
// module's code directly) it is the handle of the program itself.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

}  // namespace tamsel
