// Runs the module's registry script (a resource of type "REGISTRY") against
// the registry, with "%MODULE%" standing for the module's full path.
#pragma once

#include <windows.h>

namespace tamsel {

// Registers (writes every key and value) or unregisters (removes them as the
// marks allow). A resource that is missing or malformed changes nothing and
// gives E_UNEXPECTED; a registry failure gives its error as an HRESULT.
HRESULT UpdateRegistryFromResource(HMODULE module, UINT resourceId, bool registering) noexcept;

}  // namespace tamsel
