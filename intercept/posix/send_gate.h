// The decisions behind the preloaded socket wrappers: whether one outgoing
// write must be refused. Everything here is cheap for a buffer that is not
// a request head and never throws: a failure lets the call pass.
#pragma once

#include <sys/uio.h>

#include <cstddef>

namespace tamsel {

// Turns the wrappers' filtering on. Until the attach sequence calls it (and
// for good in a refused host) every call goes straight to libc.
void EnableSendGate() noexcept;

// send, sendto: the socket layer's own calls, inspected like the send of the
// other platform whatever the socket.
bool RefuseSend(const void* buffer, size_t length) noexcept;

// write: the method test first, so a file write pays only that, and only
// then whether `fd` is a stream socket.
bool RefuseWrite(int fd, const void* buffer, size_t length) noexcept;

// writev, sendmsg: the head starts in the first non-empty element; it is
// inspected together with the elements after it. `fd` is checked to be a
// stream socket only when `needSocketCheck` is set (writev).
bool RefuseVector(int fd, const iovec* elements, size_t count, bool needSocketCheck) noexcept;

}  // namespace tamsel
