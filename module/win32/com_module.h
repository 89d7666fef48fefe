// The COM server's start and end, called from the module's entry point.
#pragma once

#include <windows.h>

namespace tamsel {

// Remembers the module whose resources and path registration uses.
void StartComModule(HINSTANCE instance) noexcept;

// Releases the kept class object and the type description the AdFilter
// objects share. Run only after a start.
void EndComModule() noexcept;

}  // namespace tamsel
