// A test program that dies of an access violation. Its ctest entry passes
// when Wine reports the fault and the program ends within the entry's short
// timeout: a prefix that starts a debugger for it would hold every crashing
// test until ctest gives up on it.
#include <cstdio>

int main() {
    std::puts("writing through a null pointer on purpose");
    std::fflush(stdout);
    // Both volatile: the compiler can neither see the null (and make the
    // store a trap instruction) nor drop the store. The fault must be the
    // page fault a real bug makes.
    volatile int* volatile target = nullptr;
    *target = 1;
    return 0;
}
