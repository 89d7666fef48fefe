// The decisions behind the preloaded socket wrappers: whether one outgoing
// write, or one name lookup, must be refused. Everything here is cheap for a
// buffer that is neither a request head nor a ClientHello on a socket with
// nothing remembered, allocates nothing, and never throws: a failure lets
// the call pass.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>

#include "intercept/inspect.h"

namespace tamsel {

// Turns the wrappers' filtering on. Until the attach sequence calls it (and
// for good in a refused host) every call goes straight to libc.
void EnableSendGate() noexcept;

// The gate's answer on one call, and what the connection must remember once
// the call has gone out (see AfterSend).
struct SendCheck {
    enum class Answer { Pass, Refuse, AlreadyRefused };
    Answer answer = Answer::Pass;
    bool track = false;     // the connection's body state may change
    uint64_t bodyLeft = 0;  // of a body announced before this call
    BodyTrail trail;        // of the last body this call's bytes announce
};

// send, sendto: the socket layer's own calls, inspected like the send of the
// other platform whatever the socket. A request head is judged by its
// request line and Host header (each head of the buffer, bodies skipped), a
// TLS ClientHello by its server name and the port `fd` is connected to.
SendCheck CheckSend(int fd, const void* buffer, size_t length) noexcept;

// write: the first tests (request head, ClientHello) come first, so a file
// write pays only those and one load, and only then whether `fd` is a
// stream socket.
SendCheck CheckWrite(int fd, const void* buffer, size_t length) noexcept;

// writev, sendmsg: the elements are read as one buffer. A head within one
// element, or whose first element is large, is read in place; one spread
// over several small elements is gathered on the stack, up to
// kGatheredBytes. `fd` is checked to be a stream socket only when
// `needSocketCheck` is set (writev).
SendCheck CheckVector(int fd, const iovec* elements, size_t count, bool needSocketCheck) noexcept;
inline constexpr size_t kGatheredBytes = (16 << 10) + 5;  // any TLS record whole, header included

// After a call that passed: `sent` bytes went out (negative: none, the call
// failed). Remembers where a request body stands. Keeps errno.
void AfterSend(int fd, const SendCheck& check, ssize_t sent) noexcept;

// getaddrinfo, gethostbyname, gethostbyname_r: whether the lists refuse
// every request to `name`, so it must be answered "no such host".
bool RefuseLookup(const char* name) noexcept;

}  // namespace tamsel
