#include "browser/win32/ansi_text.h"

namespace tamsel {

std::optional<std::string> NarrowAnsi(const wchar_t* text, UINT length) {
    if (length == 0) return std::string();
    if (length > static_cast<UINT>(INT_MAX)) return std::nullopt;
    const int wide = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_ACP, 0, text, wide, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::nullopt;
    std::string narrow(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, wide, narrow.data(), size, nullptr, nullptr) != size) return std::nullopt;
    return narrow;
}

bool LowerAnsi(std::string& text) {
    if (text.empty()) return true;
    if (text.size() > MAXDWORD) return false;
    const DWORD length = static_cast<DWORD>(text.size());
    return CharLowerBuffA(text.data(), length) == length;
}

}  // namespace tamsel
