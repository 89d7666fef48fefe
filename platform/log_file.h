// What the refusal log needs of the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tamsel {

// Appends `line` to the file at `path` in one write, creating the file if
// need be (readable by its owner only), never through a link at `path`. The
// file is opened for this line alone: a handle kept open could outlive a
// program's own clean-up of its descriptors and end up naming another file.
// Never blocks on the file, never throws. Returns the bytes written: fewer
// than the line's when the write was cut short (a full disk), 0 when nothing
// could be written.
size_t AppendLogLine(const std::string& path, std::string_view line) noexcept;

// The process's id now (after a fork, the child's).
uint32_t CurrentProcessId() noexcept;

}  // namespace tamsel
