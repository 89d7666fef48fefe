#include "intercept/posix/connection_table.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>

namespace tamsel {

namespace {

constexpr uint64_t kRefusedBit = uint64_t{1} << 63;

// `state` is zero for an unmarked descriptor, which every send of the
// process reads; `inode` says which socket the state belongs to. A send
// racing a close and reuse of its own descriptor may read one with the
// other: the program has lost track of that descriptor already.
struct Slot {
    std::atomic<uint64_t> inode{0};
    std::atomic<uint64_t> state{0};
};

constinit Slot slots[kTrackedDescriptors];

bool Tracked(int fd) { return fd >= 0 && fd < kTrackedDescriptors; }

// The inode of the file `fd` names, or 0 when it names none. The caller's
// errno is kept.
uint64_t InodeOf(int fd) {
    const int saved = errno;
    struct stat status {};
    const bool known = ::fstat(fd, &status) == 0;
    errno = saved;
    return known ? static_cast<uint64_t>(status.st_ino) : 0;
}

void Store(int fd, uint64_t state) {
    if (!Tracked(fd)) return;
    Slot& slot = slots[fd];
    if (state == 0) {
        if (slot.state.load(std::memory_order_relaxed) != 0) slot.state.store(0, std::memory_order_relaxed);
        return;
    }
    slot.inode.store(InodeOf(fd), std::memory_order_relaxed);
    slot.state.store(state, std::memory_order_release);
}

}  // namespace

ConnectionState ReadConnection(int fd) noexcept {
    if (!Tracked(fd)) return {};
    Slot& slot = slots[fd];
    uint64_t state = slot.state.load(std::memory_order_acquire);
    if (state == 0) return {};
    if (slot.inode.load(std::memory_order_relaxed) != InodeOf(fd)) {
        // Left by a socket since closed: forgotten, so its number costs
        // no more fstat calls.
        slot.state.compare_exchange_strong(state, 0, std::memory_order_relaxed);
        return {};
    }
    return {(state & kRefusedBit) != 0, state & ~kRefusedBit};
}

void MarkRefused(int fd) noexcept { Store(fd, kRefusedBit); }

void RememberBodyLeft(int fd, uint64_t bodyLeft) noexcept { Store(fd, bodyLeft & ~kRefusedBit); }

}  // namespace tamsel
