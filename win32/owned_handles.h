// Owners of the system handles the user interface code opens.
#pragma once

#include <windows.h>

#include <memory>

namespace tamsel {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace tamsel
