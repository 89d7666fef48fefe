// The thread a list re-read runs on: started at once, and deaf to the
// program's signals, which must keep going where the program expects them.
#include "platform/env.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tamsel {
namespace {

bool Blocked(int signal) {
    sigset_t mask;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    return ::sigismember(&mask, signal) == 1;
}

TEST(RunInBackground, TheWorkRunsOnAThreadThatTakesNoSignalAndTheCallersMaskStays) {
    ASSERT_FALSE(Blocked(SIGTERM));
    std::atomic<int> done{0};
    std::atomic<bool> allBlocked{false};
    std::atomic<bool> otherThread{false};
    const std::thread::id caller = std::this_thread::get_id();
    ASSERT_TRUE(TheEnv().RunInBackground([&] {
        allBlocked = Blocked(SIGTERM) && Blocked(SIGINT) && Blocked(SIGUSR1) && Blocked(SIGCHLD) && Blocked(SIGALRM);
        otherThread = std::this_thread::get_id() != caller;
        done = 1;
    }));
    EXPECT_FALSE(Blocked(SIGTERM));
    EXPECT_FALSE(Blocked(SIGUSR1));
    for (int i = 0; i < 1000 && done.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(done.load(), 1);
    EXPECT_TRUE(allBlocked.load());
    EXPECT_TRUE(otherThread.load());
}

}  // namespace
}  // namespace tamsel
