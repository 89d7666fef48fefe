#include "platform/native.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/win32/owned_handles.h"
#include "platform/win32/log_setting.h"

namespace tamsel {

namespace {

// A link or other reparse point at the log's path is opened as itself and
// then refused, so that lines never go where someone else pointed them.
OwnedHandle OpenLog(const std::string& path) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    OwnedHandle file =
        OwnedFile(CreateFileA(path.c_str(), FILE_APPEND_DATA, kShare, nullptr, OPEN_ALWAYS, kFlags, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file && (!GetFileInformationByHandle(file.get(), &info) ||
                 (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) {
        file.reset();
    }
    return file;
}

}  // namespace

// FILE_APPEND_DATA alone makes each WriteFile land whole at the end of the
// file, whatever other threads and processes append at the same time. The
// caller's last error is kept.
size_t native::AppendLogLine(const std::string& path, std::string_view line) noexcept {
    const DWORD saved = GetLastError();
    const OwnedHandle file = OpenLog(path);
    DWORD written = 0;
    if (file) WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    SetLastError(saved);
    return written;
}

uint32_t native::CurrentProcessId() noexcept { return GetCurrentProcessId(); }

bool ReadLogQueriesSetting() {
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (SHGetValueA(HKEY_CURRENT_USER, "Software\\Tamsel\\BHO", "LogQueries", &type, &value, &size) != ERROR_SUCCESS)
        return false;
    return type == REG_DWORD && size == sizeof value && value == 1;
}

}  // namespace tamsel
