// What tells a replaced file from the one read before, and the cheap clock
// that paces the look at it. Each platform supplies both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tamsel {

// A file's identity and version as the file system reports them. A file
// replaced by a rename gets a new identity; one rewritten in place a new
// size or modification time.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;  // the file index on Windows
    uint64_t size = 0;
    int64_t modified = 0;  // in the platform's finest unit
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at `path`; nullopt when it does not exist or cannot
// be looked at.
std::optional<FileStamp> ReadFileStamp(const std::string& path);

// Milliseconds of a monotonic clock read the cheapest way the platform has;
// a resolution of a few milliseconds is enough.
uint64_t CoarseClockMs();

}  // namespace tamsel
