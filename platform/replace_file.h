// Replacing a file the user keeps without ever leaving half of it behind.
#pragma once

#include <string>
#include <string_view>

namespace tamsel {

// Who may read and write the new file: as the old file allowed (a new file
// as the user's defaults allow), or the user alone (files the module trusts
// only when nobody else could have written them).
enum class NewFileAccess { AsBefore, OwnerOnly };

// Writes `bytes` to a new file beside `path`, forces it to disk and puts it
// in place of `path` in one step. When `path` is a symbolic link, the file
// it leads to is replaced and the link stays. On any failure the old file
// (or its absence) stays as it was, the new file is removed, and `error`
// says why.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string* error,
                         NewFileAccess access = NewFileAccess::AsBefore);

}  // namespace tamsel
