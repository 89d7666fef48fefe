// Reading a file on Windows: only a file on disk is read, so that a pipe or
// a device (CON, a named pipe) named as a list can neither hold the reader
// nor feed it without end.
#include "patterns/file_bytes.h"

#include <windows.h>

#include "base/win32/owned_handles.h"

namespace tamsel {

namespace {

int ErrnoOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return EACCES;
        default: return EIO;
    }
}

}  // namespace

Result<ByteBuffer> ReadFileBuffer(const std::string& path) {
    // Backup semantics let a folder open too, so that it is told apart.
    const OwnedHandle file =
        OwnedFile(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return ReadFailure(ErrnoOf(GetLastError()));
    if (GetFileType(file.get()) != FILE_TYPE_DISK) return ReadFailure(kNotRegularFile);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) return ReadFailure(ErrnoOf(GetLastError()));
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return ReadFailure(EISDIR);
    const uint64_t size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
    return ReadBounded(size, [&](char* into, size_t n) -> long long {
        DWORD got = 0;
        const DWORD ask = n > 0x10000000 ? 0x10000000 : static_cast<DWORD>(n);
        if (!ReadFile(file.get(), into, ask, &got, nullptr)) {
            errno = ErrnoOf(GetLastError());
            return -1;
        }
        return got;
    });
}

}  // namespace tamsel
