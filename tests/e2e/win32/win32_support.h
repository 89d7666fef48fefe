// What the whole-program tests on Windows share: running a program to its
// end, reading the registry, and paths beside the test program.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tamsel::testing {

// Runs `commandLine` and waits for it; its exit code, or nullopt when it
// could not be started or did not end within `timeoutMs`.
std::optional<DWORD> RunProgram(const std::string& commandLine, DWORD timeoutMs = 60000);

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();

// The system's regsvr32, with the module path quoted behind the options.
std::string Regsvr32(const std::string& options, const std::string& modulePath);

bool KeyExists(HKEY root, const std::string& subKey);

// A REG_SZ value (an empty name: the default value); nullopt when the key or
// value is missing or of another type.
std::optional<std::string> StringValue(HKEY root, const std::string& subKey, const std::string& name = "");

// Whether the value exists at all, of any type.
bool ValueExists(HKEY root, const std::string& subKey, const std::string& name = "");

}  // namespace tamsel::testing
