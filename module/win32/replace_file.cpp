// The file replacement on Windows: write, flush, close, then MoveFileExA with
// replace and write-through.
#include "module/replace_file.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "win32/owned_handles.h"

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

bool Fail(const char* step, const std::string& temp, std::string* error) {
    *error = std::string(step) + " failed (Windows error " + std::to_string(GetLastError()) + ")";
    DeleteFileA(temp.c_str());
    return false;
}

// A file must be closed before it can be deleted.
bool FailClosing(const char* step, OwnedHandle& file, const std::string& temp, std::string* error) {
    const DWORD code = GetLastError();
    file.reset();
    SetLastError(code);
    return Fail(step, temp, error);
}

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string* error) {
    const std::string temp = TemporaryBeside(path);
    OwnedHandle file =
        OwnedFile(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = "cannot create " + temp + " (Windows error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    if (!WriteAll(file.get(), bytes)) return FailClosing("write", file, temp, error);
    if (!FlushFileBuffers(file.get())) return FailClosing("flush", file, temp, error);
    // Closed here, so that a failure of the close itself is seen.
    if (file.CloseNow() == FALSE) return Fail("close", temp, error);
    if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Fail("replace", temp, error);
    return true;
}

}  // namespace tamsel
