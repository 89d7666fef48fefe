// What the send gate remembers about a stream socket from one send to the
// next: that a request on it was refused, or how much of a request body is
// still to come. Lock-free and allocation-free: one slot per descriptor
// number below kTrackedDescriptors, each tagged with the socket's inode so
// that a closed descriptor number reused for another file or socket never
// inherits the state of the old one.
#pragma once

#include <cstdint>

namespace tamsel {

// Descriptors at or above this number are not remembered: a send on them
// is judged on its own, and a refusal only shuts the socket down.
inline constexpr int kTrackedDescriptors = 16384;

struct ConnectionState {
    bool refused = false;
    uint64_t bodyLeft = 0;
};

// The state remembered for `fd`; the empty state for a descriptor never
// marked, or one that now names another file. Costs one load for an
// unmarked descriptor, and an fstat for a marked one.
ConnectionState ReadConnection(int fd) noexcept;

// Remembers that `fd`'s request was refused; later sends on it fail.
void MarkRefused(int fd) noexcept;

// Remembers how much of a body `fd` has still to send; 0 forgets.
void RememberBodyLeft(int fd, uint64_t bodyLeft) noexcept;

}  // namespace tamsel
