// libc's own functions behind the module's exported replacements.
#pragma once

#include <dlfcn.h>

#include <atomic>

namespace tamsel {

// libc's function of the given name, looked up past this module. Concurrent
// first calls may both look it up; they find the same address, so the race
// is harmless and the common path is a single atomic load. Constant
// initialisation: a library constructor may send before ours have run.
template <class Fn>
class RealFunction {
public:
    explicit constexpr RealFunction(const char* name) : name_(name) {}
    Fn get() {
        Fn fn = fn_.load(std::memory_order_acquire);
        if (fn == nullptr) {
            fn = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name_));
            fn_.store(fn, std::memory_order_release);
        }
        return fn;
    }

private:
    const char* name_;
    std::atomic<Fn> fn_{nullptr};
};

}  // namespace tamsel
