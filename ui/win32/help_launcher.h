// Opens a web page in the user's browser: through the shell first, else
// through the open command the system keeps for web pages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace tamsel {

// The page the settings dialog's "Help" button opens.
inline constexpr char HelpPageUrl[] = "http://www.example.org/tamsel/help.htm";

// Reads the default (unnamed) value of `subKey` below `root` into `value`
// and returns ERROR_SUCCESS. Otherwise returns the registry's error code
// (ERROR_FILE_NOT_FOUND for a key without default value, ERROR_MORE_DATA
// for a text longer than 259 characters, ERROR_INVALID_DATA for a value
// that is no text) and leaves `value` as it was.
LONG ReadKeyDefaultValue(HKEY root, const std::string& subKey, std::string& value);

// What OpenUrlInBrowserWith does outside the process; tests put their own
// steps in to watch what would be started.
struct BrowserLaunchSteps {
    // True when the shell took the address and shows it.
    std::function<bool(const char* address)> openWithShell;
    // Where the web page type and its open command are looked up.
    HKEY classesRoot = HKEY_CLASSES_ROOT;
    // True when the command line started a process.
    std::function<bool(const std::string& commandLine)> startProcess;
};

// The shell, HKEY_CLASSES_ROOT and a new process.
BrowserLaunchSteps SystemBrowserLaunchSteps();

// 1 when the fallback formed a command line and started it; 0 when the
// shell opened the address, when no open command was found, when the line
// would not fit 520 characters, or when it could not be started. Never
// throws.
int32_t OpenUrlInBrowserWith(const char* address, const BrowserLaunchSteps& steps);

// OpenUrlInBrowserWith with the system's steps.
int32_t OpenUrlInBrowser(const char* address);

}  // namespace tamsel
