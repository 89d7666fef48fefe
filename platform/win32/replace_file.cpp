// The file replacement on Windows: write, flush, close, then MoveFileExA with
// replace and write-through.
#include "platform/native.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "base/win32/owned_handles.h"

namespace tamsel {

namespace {

// Unique per process and call, so two writers never share a temporary file.
std::string TemporaryBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// The file a symbolic link at `path` leads to, so that the file is replaced
// where it lives and the link is kept; `path` itself for any other file.
std::string ResolvedTarget(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const OwnedHandle file =
        OwnedFile(CreateFileA(path.c_str(), 0, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char target[MAX_PATH * 4];
    const DWORD n = file ? GetFinalPathNameByHandleA(file.get(), target, sizeof target, FILE_NAME_NORMALIZED) : 0;
    return n == 0 || n >= sizeof target ? path : std::string(target, n);
}

Failure Fail(const char* step, const std::string& temp) {
    Failure failure{std::string(step) + " failed (Windows error " + std::to_string(GetLastError()) + ")"};
    DeleteFileA(temp.c_str());
    return failure;
}

// A file must be closed before it can be deleted.
Failure FailClosing(const char* step, OwnedHandle& file, const std::string& temp) {
    const DWORD code = GetLastError();
    file.reset();
    SetLastError(code);
    return Fail(step, temp);
}

}  // namespace

// Files keep the access their folder gives; `access` matters only where the
// platform's cache folder is trusted by its owner, which Windows has none of.
Status native::ReplaceFileContents(const std::string& given, std::string_view bytes, NewFileAccess) {
    const std::string path = ResolvedTarget(given);
    const std::string temp = TemporaryBeside(path);
    OwnedHandle file =
        OwnedFile(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failure{"cannot create " + temp + " (Windows error " + std::to_string(GetLastError()) + ")"};
    if (!WriteAll(file.get(), bytes)) return FailClosing("write", file, temp);
    if (!FlushFileBuffers(file.get())) return FailClosing("flush", file, temp);
    // Closed here, so that a failure of the close itself is seen.
    if (file.CloseNow() == FALSE) return Fail("close", temp);
    if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Fail("replace", temp);
    return {};
}

}  // namespace tamsel
