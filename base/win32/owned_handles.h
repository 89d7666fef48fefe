// Owners of the Windows handles the module opens, all of one template.
#pragma once

#include <windows.h>

#include "base/unique_any.h"

namespace tamsel {

// A kernel handle: a process, a thread, a file.
using OwnedHandle = UniqueAny<HANDLE, &CloseHandle>;

// A reference on a loaded module.
using OwnedModule = UniqueAny<HMODULE, &FreeLibrary>;

// CreateFile answers INVALID_HANDLE_VALUE, not null, when it fails; the
// owner holds null for it.
inline OwnedHandle OwnedFile(HANDLE file) { return OwnedHandle(file == INVALID_HANDLE_VALUE ? nullptr : file); }

}  // namespace tamsel
