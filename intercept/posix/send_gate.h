// The decisions behind the preloaded socket wrappers: whether one outgoing
// write, or one name lookup, must be refused. Everything here is cheap for a
// buffer that is neither a request head nor a ClientHello, and never throws: a failure lets the call pass.
#pragma once

#include <sys/uio.h>

#include <cstddef>

namespace tamsel {

// Turns the wrappers' filtering on. Until the attach sequence calls it (and
// for good in a refused host) every call goes straight to libc.
void EnableSendGate() noexcept;

// send, sendto: the socket layer's own calls, inspected like the send of the
// other platform whatever the socket. A request head is judged by its
// request line and Host header, a TLS ClientHello by its server name and
// the port `fd` is connected to.
bool RefuseSend(int fd, const void* buffer, size_t length) noexcept;

// write: the first tests (request head, ClientHello) come first, so a file
// write pays only those, and only then whether `fd` is a stream socket.
bool RefuseWrite(int fd, const void* buffer, size_t length) noexcept;

// writev, sendmsg: the head starts in the first non-empty element; it is
// inspected together with the elements after it. `fd` is checked to be a
// stream socket only when `needSocketCheck` is set (writev).
bool RefuseVector(int fd, const iovec* elements, size_t count, bool needSocketCheck) noexcept;

// getaddrinfo, gethostbyname, gethostbyname_r: whether the lists refuse
// every request to `name`, so it must be answered "no such host".
bool RefuseLookup(const char* name) noexcept;

}  // namespace tamsel
