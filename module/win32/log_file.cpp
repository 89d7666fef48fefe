#include "module/log_file.h"

#include <windows.h>

#include "win32/owned_handles.h"

namespace tamsel {

// FILE_APPEND_DATA alone makes each WriteFile land whole at the end of the
// file, whatever other threads and processes append at the same time. The
// caller's last error is kept.
void AppendLogLine(const std::string& path, std::string_view line) noexcept {
    const DWORD saved = GetLastError();
    const OwnedHandle file = OwnedFile(CreateFileA(path.c_str(), FILE_APPEND_DATA,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        DWORD written = 0;
        WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    SetLastError(saved);
}

uint32_t CurrentProcessId() noexcept { return GetCurrentProcessId(); }

}  // namespace tamsel
