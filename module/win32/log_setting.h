// The refusal log's file on Windows: the REG_SZ value "LogFile" beside the
// AllowAds switch's "Status", under HKEY_CURRENT_USER "Software\Tamsel\BHO".
#pragma once

#include <optional>
#include <string>

namespace tamsel {

// The file named there; nullopt when the value is absent, empty or not a
// string: then nothing is written.
std::optional<std::string> ReadLogFileSetting();

}  // namespace tamsel
