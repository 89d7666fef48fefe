// Replacing a file the user keeps without ever leaving half of it behind.
#pragma once

#include <string>
#include <string_view>

namespace tamsel {

// Writes `bytes` to a new file beside `path`, forces it to disk and puts it
// in place of `path` in one step. On any failure the old file (or its
// absence) stays as it was, the new file is removed, and `error` says why.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace tamsel
