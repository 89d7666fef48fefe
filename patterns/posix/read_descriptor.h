// Reading a whole file through a descriptor opened already, for readers that
// check the opened file before they read it.
#pragma once

#include <optional>

#include "patterns/file_bytes.h"

namespace tamsel {

// The bytes of the regular file `fd` is open on, as ReadFileBuffer reads
// them (EISDIR for a folder, kNotRegularFile for anything else but a
// regular file, EFBIG past kMaxFileBytes).
std::optional<ByteBuffer> ReadDescriptor(int fd, int* error);

}  // namespace tamsel
