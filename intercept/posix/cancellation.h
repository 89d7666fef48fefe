// The module's own work runs with cancellation of the calling thread held
// off: a cancellation point reached inside it (the refusal log's write, the
// first load's reads, a wait for another thread's load) would unwind through
// code that must not be unwound. The call the program made is still a
// cancellation point: passed on, libc's own function is one; refused, the
// replacement asks for a pending cancellation itself.
#pragma once

#include <pthread.h>

namespace tamsel {

class CancellationDeferred {
public:
    CancellationDeferred() noexcept { ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous_); }
    ~CancellationDeferred() { ::pthread_setcancelstate(previous_, nullptr); }
    CancellationDeferred(const CancellationDeferred&) = delete;
    CancellationDeferred& operator=(const CancellationDeferred&) = delete;

private:
    int previous_ = PTHREAD_CANCEL_ENABLE;
};

}  // namespace tamsel
