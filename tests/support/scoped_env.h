// Puts a test's Env in force for as long as the object lives, then the one
// that was in force before. The test keeps `env` alive for that time, and
// waits for any thread it started that may still call it.
#pragma once

#include "platform/env.h"

namespace tamsel::testing {

class ScopedEnv {
public:
    explicit ScopedEnv(Env& env) : previous_(SwapEnv(&env)) {}
    ~ScopedEnv() { SwapEnv(previous_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    Env* const previous_;
};

}  // namespace tamsel::testing
