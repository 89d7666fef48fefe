// Owner of one open registry key.
#pragma once

#include <windows.h>

#include "base/unique_any.h"

namespace tamsel {

class RegistryKey : public UniqueAny<HKEY, &RegCloseKey> {
public:
    // Opens `subKey` of `parent`; the result is the registry's error number.
    LONG Open(HKEY parent, const char* subKey, REGSAM access) {
        return RegOpenKeyExA(parent, subKey, 0, access, put());
    }
    // Opens or creates `subKey` and every missing key above it.
    LONG Create(HKEY parent, const char* subKey, REGSAM access) {
        return RegCreateKeyExA(parent, subKey, 0, nullptr, 0, access, nullptr, put(), nullptr);
    }
};

}  // namespace tamsel
