// Runs a call on a thread of its own with a cancellation already requested:
// the thread holds cancellation off until the request is made, then lets it
// be acted on at the next cancellation point, which should be the call.
#pragma once

#include <pthread.h>

#include <atomic>
#include <functional>
#include <thread>

namespace tamsel::testing {

struct CancellationOutcome {
    bool cancelled = false;  // the thread ended as cancelled
    bool returned = false;   // the call returned to its caller
};

inline CancellationOutcome CallWithCancellationPending(std::function<void()> call) {
    struct Probe {
        std::function<void()> call;
        std::atomic<int> step{0};  // 1: cancellation held off; 2: requested; 3: the call returned
    } probe{std::move(call)};
    const auto body = [](void* argument) -> void* {
        auto* p = static_cast<Probe*>(argument);
        ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
        p->step = 1;
        while (p->step != 2) std::this_thread::yield();
        ::pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
        p->call();
        p->step = 3;
        return nullptr;
    };
    pthread_t thread;
    if (::pthread_create(&thread, nullptr, body, &probe) != 0) return {};
    while (probe.step != 1) std::this_thread::yield();
    ::pthread_cancel(thread);
    probe.step = 2;
    void* result = nullptr;
    ::pthread_join(thread, &result);
    return {result == PTHREAD_CANCELED, probe.step == 3};
}

}  // namespace tamsel::testing
