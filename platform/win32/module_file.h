// Full paths of loaded modules and of the host executable, never cut short.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tamsel {

// The full path of `module` (null: the host executable) in the system code
// page, however long; nullopt when the system cannot give it.
std::optional<std::string> ModuleFileName(HMODULE module);

// The same as a wide string, for the calls that take one.
std::optional<std::wstring> ModuleFileNameWide(HMODULE module);

}  // namespace tamsel
