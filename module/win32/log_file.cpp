#include "module/log_file.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "module/win32/log_setting.h"
#include "win32/owned_handles.h"

namespace tamsel {

namespace {

// Opens the log for appending, and for reading where the file grants it.
// A link or other reparse point at the log's path is opened as itself and
// then refused, so that lines never go where someone else pointed them.
OwnedHandle OpenLog(const std::string& path) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    OwnedHandle file = OwnedFile(
        CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, kShare, nullptr, OPEN_ALWAYS, kFlags, nullptr));
    if (!file) {
        file = OwnedFile(CreateFileA(path.c_str(), FILE_APPEND_DATA, kShare, nullptr, OPEN_ALWAYS, kFlags, nullptr));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (file && (!GetFileInformationByHandle(file.get(), &info) ||
                 (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        file.reset();
    }
    return file;
}

// Whether the file ends inside a line: a write cut short (a full disk)
// left part of one, which the next line must not continue.
bool EndsInsideALine(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0) return false;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(size.QuadPart - 1);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD got = 0;
    return ReadFile(file, &last, 1, &got, &at) && got == 1 && last != '\n';
}

}  // namespace

// FILE_APPEND_DATA without FILE_WRITE_DATA makes each WriteFile land whole
// at the end of the file, whatever other threads and processes append at
// the same time. The caller's last error is kept.
void AppendLogLine(const std::string& path, std::string_view line) noexcept {
    const DWORD saved = GetLastError();
    const OwnedHandle file = OpenLog(path);
    if (file) {
        try {
            const std::string whole = (EndsInsideALine(file.get()) ? "\n" : "") + std::string(line);
            DWORD written = 0;
            WriteFile(file.get(), whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
        } catch (...) {
            // Out of memory: the line is lost.
        }
    }
    SetLastError(saved);
}

uint32_t CurrentProcessId() noexcept { return GetCurrentProcessId(); }

bool ReadLogQueriesSetting() {
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (SHGetValueA(HKEY_CURRENT_USER, "Software\\Tamsel\\BHO", "LogQueries", &type, &value, &size) != ERROR_SUCCESS)
        return false;
    return type == REG_DWORD && size == sizeof value && value == 1;
}

}  // namespace tamsel
