#include "intercept/posix/send_gate.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/boundary.h"
#include "intercept/lookup.h"
#include "intercept/posix/cancellation.h"
#include "intercept/posix/connection_table.h"
#include "intercept/server_name.h"
#include "runtime/shared_state.h"

namespace tamsel {

namespace {

std::atomic<bool> gateEnabled{false};

bool Filtering() noexcept {
    if (!gateEnabled.load(std::memory_order_relaxed)) return false;
    // Made by attach before the gate opened; only the first use of the
    // shared state could throw, and then the call passes.
    return AtBoundary(false, [] { return TheSharedState().AllowAds.load(std::memory_order_relaxed) == 0; });
}

bool IsStreamSocket(int fd) {
    int type = 0;
    socklen_t size = sizeof type;
    return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_STREAM;
}

bool StreamSocketKeepingErrno(int fd) {
    const int saved = errno;
    const bool socket = IsStreamSocket(fd);
    errno = saved;
    return socket;
}

static_assert(offsetof(sockaddr_in, sin_port) == 2 && offsetof(sockaddr_in6, sin6_port) == 2, "PeerPort reads there");

int32_t RemotePort(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) size = 0;
    return PeerPort(&address, size, address.ss_family == AF_INET || address.ss_family == AF_INET6);
}

SendCheck AlreadyRefused() {
    SendCheck check;
    check.answer = SendCheck::Answer::AlreadyRefused;
    return check;
}

// A call that carries only the rest of a body announced before: not read.
SendCheck InBody(uint64_t bodyLeft) {
    SendCheck check;
    check.track = bodyLeft > 0;
    check.bodyLeft = bodyLeft;
    check.trail = {0, bodyLeft};
    return check;
}

// The module's own work for one call, run so that the caller's errno is
// kept (a write that goes on must not find it changed) and the thread is
// not cancelled inside it.
template <class Work>
auto KeepingCallerState(Work work) {
    const CancellationDeferred deferred;
    const int saved = errno;
    const auto answer = work();
    errno = saved;
    return answer;
}

// The full inspection of a buffer found to start a request head or a
// ClientHello.
SendCheck Inspect(int fd, const OutgoingBuffer& buffer) {
    return KeepingCallerState([&] {
        SendCheck check;
        bool refused;
        if (buffer.kind == OutgoingKind::ClientHello) {
            refused = InspectClientHello(buffer, RemotePort(fd));
        } else {
            refused = InspectRequest(buffer, &check.trail);
            check.track = check.trail.bodyEnd > 0;
        }
        if (refused) check.answer = SendCheck::Answer::Refuse;
        return check;
    });
}

// Bytes that go on after the rest of a body announced before.
SendCheck InspectAfterBody(const char* bytes, size_t length, uint64_t bodyLeft) {
    return KeepingCallerState([&] {
        SendCheck check;
        check.bodyLeft = bodyLeft;
        check.track = true;
        if (InspectStream(bytes, length, bodyLeft, &check.trail)) check.answer = SendCheck::Answer::Refuse;
        return check;
    });
}

// What the gate does with one buffer once it knows what `fd` remembers;
// `socketKnown` when the call itself needs a stream socket (send, sendmsg).
SendCheck CheckBuffer(int fd, const ConnectionState& state, const char* bytes, size_t length, bool socketKnown) {
    if (state.refused) return AlreadyRefused();
    if (state.bodyLeft >= length) return InBody(state.bodyLeft);
    if (state.bodyLeft > 0) return InspectAfterBody(bytes, length, state.bodyLeft);
    const OutgoingBuffer buffer = ClassifyOutgoing(bytes, length);
    if (buffer.kind == OutgoingKind::Other || (!socketKnown && !StreamSocketKeepingErrno(fd))) return {};
    return Inspect(fd, buffer);
}

// The bytes of the elements as one buffer, up to `capacity`: `gathered`
// receives them unless the first non-empty element can be read in place.
struct VectorBytes {
    const char* data = nullptr;
    size_t length = 0;
};

VectorBytes ReadVector(const iovec* elements, size_t count, char* gathered, size_t capacity) {
    size_t first = 0;
    while (first < count && elements[first].iov_len == 0) ++first;
    if (first == count) return {};
    size_t nonEmpty = 0;
    for (size_t i = first; i < count && nonEmpty < 2; ++i) nonEmpty += elements[i].iov_len > 0;
    if (nonEmpty == 1 || elements[first].iov_len >= capacity) {
        return {static_cast<const char*>(elements[first].iov_base), elements[first].iov_len};
    }
    size_t have = 0;
    for (size_t i = first; i < count && have < capacity; ++i) {
        const size_t take = std::min(elements[i].iov_len, capacity - have);
        std::memcpy(gathered + have, elements[i].iov_base, take);
        have += take;
    }
    return {gathered, have};
}

// The first test for a vector reads its first bytes, which may come from
// several elements ("GET" in one, " /x" in the next): the leading line ends,
// then twelve bytes, which hold any "POST " that starts within the first
// eight and a record header with its message type. It only screens: the
// bytes gathered for inspection are classified on their own.
OutgoingKind ClassifyVector(const iovec* elements, size_t count) {
    char prefix[12];
    size_t have = 0, skipped = 0;
    for (size_t i = 0; i < count && have < sizeof prefix && skipped < kMaxInspectedBytes; ++i) {
        const auto* bytes = static_cast<const char*>(elements[i].iov_base);
        for (size_t k = 0; k < elements[i].iov_len && have < sizeof prefix && skipped < kMaxInspectedBytes; ++k) {
            const bool leading = have == 0 && (bytes[k] == '\r' || bytes[k] == '\n');
            skipped += leading;
            if (!leading) prefix[have++] = bytes[k];
        }
    }
    return ClassifyOutgoing(prefix, have).kind;
}

uint64_t TotalLength(const iovec* elements, size_t count) {
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) total += elements[i].iov_len;
    return total;
}

}  // namespace

void EnableSendGate() noexcept { gateEnabled.store(true); }

SendCheck CheckSend(int fd, const void* buffer, size_t length) noexcept {
    if (!Filtering()) return {};
    return CheckBuffer(fd, ReadConnection(fd), static_cast<const char*>(buffer), length, true);
}

SendCheck CheckWrite(int fd, const void* buffer, size_t length) noexcept {
    if (!Filtering()) return {};
    return CheckBuffer(fd, ReadConnection(fd), static_cast<const char*>(buffer), length, false);
}

SendCheck CheckVector(int fd, const iovec* elements, size_t count, bool needSocketCheck) noexcept {
    if (!Filtering() || elements == nullptr) return {};
    const ConnectionState state = ReadConnection(fd);
    if (state.refused) return AlreadyRefused();
    if (state.bodyLeft >= TotalLength(elements, count)) return InBody(state.bodyLeft);
    if (state.bodyLeft == 0) {
        if (ClassifyVector(elements, count) == OutgoingKind::Other) return {};
        if (needSocketCheck && !StreamSocketKeepingErrno(fd)) return {};
    }
    // Senders often put the request line and the headers in separate
    // elements; the Host line may be in any of them. Gathered on the stack:
    // a send from a signal handler must not wait for the allocator.
    char gathered[kGatheredBytes];
    const VectorBytes bytes = ReadVector(elements, count, gathered, sizeof gathered);
    return CheckBuffer(fd, state, bytes.data, bytes.length, true);
}

void AfterSend(int fd, const SendCheck& check, ssize_t sent) noexcept {
    if (!check.track || sent < 0) return;
    const uint64_t left = BodyLeftAfter(check.trail, static_cast<uint64_t>(sent));
    if (left != check.bodyLeft) RememberBodyLeft(fd, left);
}

bool RefuseLookup(const char* name) noexcept {
    if (!Filtering() || name == nullptr) return false;
    return KeepingCallerState([&] { return InspectLookup(name); });
}

}  // namespace tamsel
