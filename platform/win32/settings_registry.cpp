// The AllowAds switch in the registry of the current user.
#include "platform/native.h"
#include "platform/win32/log_setting.h"

#include <windows.h>
#include <shlwapi.h>

namespace tamsel {

namespace {
constexpr char kKey[] = "Software\\Tamsel\\BHO";
constexpr char kValue[] = "Status";
constexpr char kLogValue[] = "LogFile";
}  // namespace

uint32_t native::ReadAllowAdsSwitch() {
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (SHGetValueA(HKEY_CURRENT_USER, kKey, kValue, &type, &value, &size) != ERROR_SUCCESS) return 0;
    // Anything but a 4-byte number was not written by us: filter, as with no
    // value at all.
    if (type != REG_DWORD || size != sizeof value) return 0;
    return value;
}

bool native::WriteAllowAdsSwitch(uint32_t value) {
    const DWORD stored = value;
    return SHSetValueA(HKEY_CURRENT_USER, kKey, kValue, REG_DWORD, &stored, sizeof stored) == ERROR_SUCCESS;
}

std::optional<std::string> ReadLogFileSetting() {
    DWORD type = REG_NONE;
    char path[MAX_PATH] = {};
    DWORD size = sizeof path - 1;  // room for a terminator the value may lack
    if (SHGetValueA(HKEY_CURRENT_USER, kKey, kLogValue, &type, path, &size) != ERROR_SUCCESS) return std::nullopt;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || path[0] == '\0') return std::nullopt;
    return std::string(path);
}

}  // namespace tamsel
