#include "platform/native.h"

#include <windows.h>

namespace tamsel {

namespace {
int64_t Ticks(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}
}  // namespace

// Read from the directory entry, without opening the file: another program
// may hold it open and the look must not disturb it. A file put in place by
// a rename carries its own creation time, which stands in for the identity.
std::optional<FileStamp> native::ReadFileStamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return std::nullopt;
    FileStamp stamp;
    stamp.inode = static_cast<uint64_t>(Ticks(info.ftCreationTime));
    stamp.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp.modified = Ticks(info.ftLastWriteTime);
    return stamp;
}

uint64_t native::CoarseClockMs() noexcept { return GetTickCount64(); }

}  // namespace tamsel
