// The AllowAds switch in the registry of the current user.
#include "module/settings_store.h"

#include <windows.h>
#include <shlwapi.h>

namespace tamsel {

namespace {
constexpr char kKey[] = "Software\\Tamsel\\BHO";
constexpr char kValue[] = "Status";
}  // namespace

uint32_t ReadAllowAdsSwitch() {
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (SHGetValueA(HKEY_CURRENT_USER, kKey, kValue, &type, &value, &size) != ERROR_SUCCESS) return 0;
    // Anything but a 4-byte number was not written by us: filter, as with no
    // value at all.
    if (type != REG_DWORD || size != sizeof value) return 0;
    return value;
}

bool WriteAllowAdsSwitch(uint32_t value) {
    const DWORD stored = value;
    return SHSetValueA(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &stored, sizeof stored) == ERROR_SUCCESS;
}

}  // namespace tamsel
