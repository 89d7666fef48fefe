// The COM server's end, called from the module's entry point. Its start
// needs nothing but the module's instance handle, which attach remembers
// first of all (module_instance.h); the class object is made on request.
#pragma once

namespace tamsel {

// Releases the kept class object and the type description the AdFilter
// objects share. Run only at the detach of an accepted attach.
void EndComModule() noexcept;

}  // namespace tamsel
