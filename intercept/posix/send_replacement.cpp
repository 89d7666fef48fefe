// The exported replacements. They must stay cheap on the pass-through path:
// no allocation, no lock, one resolved pointer per function.
#include "intercept/posix/send_replacement.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

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
// bytes that went out. The connection is shut down both ways, so a caller
// that ignores the failure and waits for an answer reads the end at once,
// and its next send fails too.
constexpr int kRefused = -1;
int Refuse(int fd) {
    ::shutdown(fd, SHUT_RDWR);
    errno = ECONNABORTED;
    return kRefused;
}

// A missing libc function can only mean a broken process; fail the call
// rather than jump to address 0.
int Unavailable() {
    errno = ENOSYS;
    return -1;
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
    if (RefuseSend(fd, buffer, length)) return Refuse(fd);
    return real(fd, buffer, length, flags);
}

TAMSEL_EXPORT ssize_t sendto(int fd, const void* buffer, size_t length, int flags, const sockaddr* to,
                             socklen_t toLength) {
    const auto real = realSendTo.get();
    if (real == nullptr) return Unavailable();
    if (RefuseSend(fd, buffer, length)) return Refuse(fd);
    return real(fd, buffer, length, flags, to, toLength);
}

TAMSEL_EXPORT ssize_t sendmsg(int fd, const msghdr* message, int flags) {
    const auto real = realSendMsg.get();
    if (real == nullptr) return Unavailable();
    if (message != nullptr && RefuseVector(fd, message->msg_iov, message->msg_iovlen, false)) return Refuse(fd);
    return real(fd, message, flags);
}

// Messages before the first refused one go out, as with any partial
// sendmmsg; a refused first message fails the call.
TAMSEL_EXPORT int sendmmsg(int fd, mmsghdr* messages, unsigned int count, int flags) {
    const auto real = realSendMmsg.get();
    if (real == nullptr) return Unavailable();
    if (messages == nullptr || count == 0) return real(fd, messages, count, flags);
    unsigned int allowed = 0;
    while (allowed < count &&
           !RefuseVector(fd, messages[allowed].msg_hdr.msg_iov, messages[allowed].msg_hdr.msg_iovlen, false)) {
        ++allowed;
    }
    if (allowed == 0) return Refuse(fd);
    return real(fd, messages, allowed, flags);
}

TAMSEL_EXPORT ssize_t write(int fd, const void* buffer, size_t length) {
    const auto real = realWrite.get();
    if (real == nullptr) return Unavailable();
    if (RefuseWrite(fd, buffer, length)) return Refuse(fd);
    return real(fd, buffer, length);
}

TAMSEL_EXPORT ssize_t writev(int fd, const iovec* elements, int count) {
    const auto real = realWritev.get();
    if (real == nullptr) return Unavailable();
    if (RefuseVector(fd, elements, VectorCount(count), true)) return Refuse(fd);
    return real(fd, elements, count);
}

}  // extern "C"
