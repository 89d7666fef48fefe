#include "platform/native.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

namespace tamsel {

bool native::RunInBackground(std::function<void()> work) noexcept {
    // A new thread starts with its creator's signal mask: block everything
    // for the creation, then give the sender its own mask back.
    sigset_t all;
    sigset_t previous;
    ::sigfillset(&all);
    if (::pthread_sigmask(SIG_SETMASK, &all, &previous) != 0) return false;
    bool started = false;
    try {
        std::thread(std::move(work)).detach();
        started = true;
    } catch (...) {
        // Out of threads or memory: the caller does the work itself.
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return started;
}

}  // namespace tamsel
