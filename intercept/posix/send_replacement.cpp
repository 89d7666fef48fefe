// The exported replacements. They must stay cheap on the pass-through path:
// no allocation, no lock, one resolved pointer per function.
#include "intercept/posix/send_replacement.h"

#include <pthread.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

#include "intercept/posix/connection_table.h"
#include "intercept/posix/real_function.h"
#include "intercept/posix/send_gate.h"

#define TAMSEL_EXPORT __attribute__((visibility("default")))

namespace tamsel {

namespace {

constinit RealFunction<ssize_t (*)(int, const void*, size_t, int)> realSend("send");
constinit RealFunction<ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t)> realSendTo("sendto");
constinit RealFunction<ssize_t (*)(int, const msghdr*, int)> realSendMsg("sendmsg");
constinit RealFunction<int (*)(int, mmsghdr*, unsigned int, int)> realSendMmsg("sendmmsg");
constinit RealFunction<ssize_t (*)(int, const void*, size_t)> realWrite("write");
constinit RealFunction<ssize_t (*)(int, const iovec*, int)> realWritev("writev");

// The answer to a refused call: a failed send, so no caller mistakes it for
// bytes that went out. A freshly refused connection is shut down both ways,
// so a caller that ignores the failure and waits for an answer reads the end
// at once; it is remembered, so a later send on it fails with EPIPE, as on
// any shut connection, but without the SIGPIPE that would end the program. The call stays a cancellation point.
constexpr int kRefused = -1;
int Refuse(int fd, SendCheck::Answer answer) {
    if (answer == SendCheck::Answer::Refuse) {
        MarkRefused(fd);
        ::shutdown(fd, SHUT_RDWR);
    }
    ::pthread_testcancel();
    errno = answer == SendCheck::Answer::Refuse ? ECONNABORTED : EPIPE;
    return kRefused;
}

// Passes a call the gate let through to libc and notes what it sent.
template <class Call>
ssize_t PassOn(int fd, const SendCheck& check, Call call) {
    const ssize_t sent = call();
    AfterSend(fd, check, sent);
    return sent;
}

// A missing libc function can only mean a broken process; fail the call
// rather than jump to address 0.
int Unavailable() {
    errno = ENOSYS;
    return -1;
}

// The messages of a sendmmsg that may go out in one call: those before the
// first refused one, and at most one whose body state must be followed (the
// caller sends the rest with its next call, as after any short sendmmsg).
struct MessagesAllowed {
    unsigned int count = 0;
    SendCheck last;
};

MessagesAllowed CheckMessages(int fd, const mmsghdr* messages, unsigned int count) {
    for (unsigned int i = 0; i < count; ++i) {
        const msghdr& message = messages[i].msg_hdr;
        const SendCheck check = CheckVector(fd, message.msg_iov, message.msg_iovlen, false);
        if (check.answer != SendCheck::Answer::Pass) return {i, check};
        if (check.track) return {i + 1, check};
    }
    return {count, {}};
}

size_t VectorCount(int count) { return count > 0 ? static_cast<size_t>(count) : 0; }

}  // namespace

void InstallSendReplacement() {
    realSend.get();
    realSendTo.get();
    realSendMsg.get();
    realSendMmsg.get();
    realWrite.get();
    realWritev.get();
    EnableSendGate();
}

}  // namespace tamsel

using namespace tamsel;

extern "C" {

TAMSEL_EXPORT ssize_t send(int fd, const void* buffer, size_t length, int flags) {
    const auto real = realSend.get();
    if (real == nullptr) return Unavailable();
    const SendCheck check = CheckSend(fd, buffer, length);
    if (check.answer != SendCheck::Answer::Pass) return Refuse(fd, check.answer);
    return PassOn(fd, check, [&] { return real(fd, buffer, length, flags); });
}

TAMSEL_EXPORT ssize_t sendto(int fd, const void* buffer, size_t length, int flags, const sockaddr* to,
                             socklen_t toLength) {
    const auto real = realSendTo.get();
    if (real == nullptr) return Unavailable();
    const SendCheck check = CheckSend(fd, buffer, length);
    if (check.answer != SendCheck::Answer::Pass) return Refuse(fd, check.answer);
    return PassOn(fd, check, [&] { return real(fd, buffer, length, flags, to, toLength); });
}

TAMSEL_EXPORT ssize_t sendmsg(int fd, const msghdr* message, int flags) {
    const auto real = realSendMsg.get();
    if (real == nullptr) return Unavailable();
    if (message == nullptr) return real(fd, message, flags);
    const SendCheck check = CheckVector(fd, message->msg_iov, message->msg_iovlen, false);
    if (check.answer != SendCheck::Answer::Pass) return Refuse(fd, check.answer);
    return PassOn(fd, check, [&] { return real(fd, message, flags); });
}

// Messages before the first refused one go out, as with any short
// sendmmsg; a refused first message fails the call.
TAMSEL_EXPORT int sendmmsg(int fd, mmsghdr* messages, unsigned int count, int flags) {
    const auto real = realSendMmsg.get();
    if (real == nullptr) return Unavailable();
    if (messages == nullptr || count == 0) return real(fd, messages, count, flags);
    const MessagesAllowed allowed = CheckMessages(fd, messages, count);
    if (allowed.count == 0) return Refuse(fd, allowed.last.answer);
    const int sent = real(fd, messages, allowed.count, flags);
    if (sent == static_cast<int>(allowed.count)) AfterSend(fd, allowed.last, messages[sent - 1].msg_len);
    return sent;
}

TAMSEL_EXPORT ssize_t write(int fd, const void* buffer, size_t length) {
    const auto real = realWrite.get();
    if (real == nullptr) return Unavailable();
    const SendCheck check = CheckWrite(fd, buffer, length);
    if (check.answer != SendCheck::Answer::Pass) return Refuse(fd, check.answer);
    return PassOn(fd, check, [&] { return real(fd, buffer, length); });
}

TAMSEL_EXPORT ssize_t writev(int fd, const iovec* elements, int count) {
    const auto real = realWritev.get();
    if (real == nullptr) return Unavailable();
    const SendCheck check = CheckVector(fd, elements, VectorCount(count), true);
    if (check.answer != SendCheck::Answer::Pass) return Refuse(fd, check.answer);
    return PassOn(fd, check, [&] { return real(fd, elements, count); });
}

}  // extern "C"
