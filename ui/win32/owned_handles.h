// Owners of the system handles the user interface code opens.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace tamsel {

struct RegKeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using OwnedRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegKeyCloser>;

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace tamsel
