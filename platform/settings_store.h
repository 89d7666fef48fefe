// The one persisted setting: the AllowAds switch, per user, under the key
// HKEY_CURRENT_USER "Software\Tamsel\BHO", value "Status" (a 32-bit number:
// nonzero allows advertisements, 0 filters). On Windows it lives in the
// registry; elsewhere in a file of the registry's own export format.
#pragma once

#include <cstdint>

namespace tamsel {

// The stored value; 0 when the key or value is absent or cannot be read.
uint32_t ReadAllowAdsSwitch();

// Stores the value, creating the key if need be. False when it could not be
// stored; the old value then stays.
bool WriteAllowAdsSwitch(uint32_t value);

}  // namespace tamsel
