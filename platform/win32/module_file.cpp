#include "platform/win32/module_file.h"

#include <vector>

namespace tamsel {

namespace {

// GetModuleFileName fills the buffer without a terminator when the path does
// not fit (and some systems report that only through the count), so the
// buffer grows until the count stays below its size and the result is taken
// by that count, never by searching for a terminator.
template <class Char, class Get>
std::optional<std::basic_string<Char>> GrowingModuleFileName(HMODULE module, Get get) {
    for (DWORD size = MAX_PATH + 1; size <= 32768 * 2; size *= 2) {
        std::vector<Char> buffer(size);
        const DWORD n = get(module, buffer.data(), size);
        if (n == 0) return std::nullopt;
        if (n < size - 1) return std::basic_string<Char>(buffer.data(), n);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ModuleFileName(HMODULE module) {
    return GrowingModuleFileName<char>(module, GetModuleFileNameA);
}

std::optional<std::wstring> ModuleFileNameWide(HMODULE module) {
    return GrowingModuleFileName<wchar_t>(module, GetModuleFileNameW);
}

}  // namespace tamsel
