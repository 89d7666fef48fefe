// Reading a whole small file (a list, the settings file) as bytes.
#pragma once

#include <optional>
#include <string>

namespace tamsel {

// The file's bytes, read in binary mode so every platform sees the same
// bytes; nullopt when it cannot be opened or read, with the C library's
// error number in `*error` when given (ENOENT for a missing file).
std::optional<std::string> ReadFileBytes(const std::string& path, int* error = nullptr);

}  // namespace tamsel
