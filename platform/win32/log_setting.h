// The refusal log's file on Windows: the REG_SZ value "LogFile" beside the
// AllowAds switch's "Status", under HKEY_CURRENT_USER "Software\Tamsel\BHO",
// and the dword "LogQueries" there.
#pragma once

#include <optional>
#include <string>

namespace tamsel {

// The file named there; nullopt when the value is absent, empty or not a
// string: then nothing is written.
std::optional<std::string> ReadLogFileSetting();

// Whether the dword "LogQueries" beside it is 1: then the log keeps the
// queries of the URLs it names.
bool ReadLogQueriesSetting();

}  // namespace tamsel
