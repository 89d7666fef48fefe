// The AllowAds switch off Windows: a file in the registry's export format,
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Tamsel\BHO]
//   "Status"=dword:00000001
//
// at ${XDG_CONFIG_HOME:-$HOME/.config}/Tamsel/settings.reg. The key, value
// name, type and meaning are the registry's, so the file can be read by
// anyone who knows the Windows setting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"

namespace tamsel {

// The file's path, or nullopt when neither an absolute XDG_CONFIG_HOME nor
// HOME says where the user's configuration lives.
std::optional<std::string> SettingsFilePath();

// The stored switch as the tool reports it: the value (0 when the file or the
// value is absent), or why the file cannot be read (e.g. "Is a directory").
// The module itself reads such a file as 0, filtering on.
Result<uint32_t> ReadStoredSwitch();

// The "Status" dword of the Tamsel key in registry-export text; nullopt when
// the key or the value is absent or is not a dword. When the value appears
// more than once the last one counts, as an import would leave it.
std::optional<uint32_t> FindStatusValue(std::string_view text);

// `text` with every "Status" value of the Tamsel key set to `value`, or one
// added where there is none. Every other line is kept as it was.
std::string WithStatusValue(std::string_view text, uint32_t value);

}  // namespace tamsel
