#include "platform/native.h"

#include <thread>

namespace tamsel {

// Windows delivers no asynchronous signals to threads: nothing to block.
bool native::RunInBackground(std::function<void()> work) noexcept {
    try {
        std::thread(std::move(work)).detach();
        return true;
    } catch (...) {
        return false;  // out of threads or memory: the caller does the work itself
    }
}

}  // namespace tamsel
