// Registration of the type library the module carries as resource TYPELIB 1.
#pragma once

#include <windows.h>

namespace tamsel {

// Both are steps of the registration exports and answer as they do: nothing
// thrown inside crosses, running out of memory gives E_OUTOFMEMORY.

// Loads the module's own type library from its file and registers it, with
// the module's path as the library's path.
HRESULT RegisterModuleTypeLib(HMODULE module) noexcept;

// Removes the registration of the module's own type library (the library's
// identity, version, locale and platform come from the library itself).
HRESULT UnregisterModuleTypeLib(HMODULE module) noexcept;

}  // namespace tamsel
