// The module's folder on Windows: the folder of the loaded "Tamsel.dll", or of
// the host executable when no module of that name is loaded.
#include "platform/native.h"

#include <windows.h>

namespace tamsel {

std::optional<std::string> native::ModuleFolderPath(std::string_view fileName) {
    // A buffer larger than MAX_PATH, so that an over-long module path is seen
    // as such instead of coming back cut short.
    char buffer[2 * MAX_PATH];
    const DWORD n = GetModuleFileNameA(GetModuleHandleA("Tamsel.dll"), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return std::nullopt;
    std::string result(buffer, n);
    const size_t slash = result.rfind('\\');
    result.erase(slash == std::string::npos ? 0 : slash + 1);
    result.append(fileName);
    if (result.size() > MAX_PATH - 1) return std::nullopt;  // 259 characters and the terminator
    return result;
}

}  // namespace tamsel
