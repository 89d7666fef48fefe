#include "intercept/posix/send_gate.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/boundary.h"
#include "intercept/inspect.h"
#include "intercept/lookup.h"
#include "intercept/server_name.h"
#include "intercept/tls_client_hello.h"
#include "module/shared_state.h"

namespace tamsel {

namespace {

std::atomic<bool> gateEnabled{false};

// What an outgoing buffer starts with, as far as the gate cares.
enum class Outgoing { Other, RequestHead, ClientHello };

int32_t ClampLength(size_t length) {
    return length > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(length);
}

bool Filtering() noexcept {
    if (!gateEnabled.load(std::memory_order_relaxed)) return false;
    // Made by attach before the gate opened; only the first use of the
    // shared state could throw, and then the call passes.
    return AtBoundary(false, [] { return TheSharedState().AllowAds.load(std::memory_order_relaxed) == 0; });
}

// Reads at most the first eight bytes: every write of the process comes here.
Outgoing Classify(const void* buffer, size_t length) {
    if (LooksLikeRequestHead(static_cast<const char*>(buffer), ClampLength(length))) return Outgoing::RequestHead;
    if (LooksLikeClientHello(static_cast<const unsigned char*>(buffer), length)) return Outgoing::ClientHello;
    return Outgoing::Other;
}

bool IsStreamSocket(int fd) {
    int type = 0;
    socklen_t size = sizeof type;
    return ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_STREAM;
}

// The port the connection goes to; a socket that cannot say gets the usual
// TLS port, and a send on it fails anyway.
int32_t RemotePort(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return kDefaultTlsPort;
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
    return kDefaultTlsPort;
}

// The full inspection, for a buffer that has passed the first test. The
// caller's errno is kept: a write that goes on must not find it changed.
bool InspectKeepingErrno(int fd, Outgoing kind, const char* buffer, size_t length) {
    const int saved = errno;
    const bool refused = kind == Outgoing::RequestHead
                             ? InspectRequest(buffer, ClampLength(length))
                             : InspectClientHello(buffer, ClampLength(length), RemotePort(fd));
    errno = saved;
    return refused;
}

bool StreamSocketKeepingErrno(int fd) {
    const int saved = errno;
    const bool socket = IsStreamSocket(fd);
    errno = saved;
    return socket;
}

// How many bytes of the elements the inspection needs: a request head up to
// its bound, a TLS record whole.
size_t GatherLimit(Outgoing kind, const char* prefix, size_t have) {
    if (kind == Outgoing::RequestHead) return kMaxInspectedBytes;
    return TlsRecordSize(reinterpret_cast<const unsigned char*>(prefix), have);
}

}  // namespace

void EnableSendGate() noexcept { gateEnabled.store(true); }

bool RefuseSend(int fd, const void* buffer, size_t length) noexcept {
    if (!Filtering()) return false;
    const Outgoing kind = Classify(buffer, length);
    return kind != Outgoing::Other && InspectKeepingErrno(fd, kind, static_cast<const char*>(buffer), length);
}

bool RefuseWrite(int fd, const void* buffer, size_t length) noexcept {
    if (!Filtering()) return false;
    const Outgoing kind = Classify(buffer, length);
    if (kind == Outgoing::Other || !StreamSocketKeepingErrno(fd)) return false;
    return InspectKeepingErrno(fd, kind, static_cast<const char*>(buffer), length);
}

bool RefuseVector(int fd, const iovec* elements, size_t count, bool needSocketCheck) noexcept {
    if (!Filtering() || elements == nullptr) return false;
    // The first test looks at the first bytes sent, which may come from
    // several elements ("GET" in one, " /x" in the next). Twelve bytes hold
    // any "POST " that starts within the first eight, and a record header
    // with its message type.
    char prefix[12];
    size_t have = 0;
    size_t first = count;
    for (size_t i = 0; i < count && have < sizeof prefix; ++i) {
        if (elements[i].iov_len == 0) continue;
        if (first == count) first = i;
        const size_t take = std::min(elements[i].iov_len, sizeof prefix - have);
        std::memcpy(prefix + have, elements[i].iov_base, take);
        have += take;
    }
    if (first == count) return false;
    const Outgoing kind = Classify(prefix, have);
    if (kind == Outgoing::Other || (needSocketCheck && !StreamSocketKeepingErrno(fd))) return false;
    // Senders often put the request line and the headers in separate
    // elements; the Host line may be in any of them. Out of memory while
    // gathering them, the call passes.
    const size_t limit = GatherLimit(kind, prefix, have);
    const int saved = errno;
    const bool refused = AtBoundary(false, [&] {
        std::string gathered;
        for (size_t i = first; i < count && gathered.size() < limit; ++i) {
            const size_t take = std::min(elements[i].iov_len, limit - gathered.size());
            gathered.append(static_cast<const char*>(elements[i].iov_base), take);
        }
        return InspectKeepingErrno(fd, kind, gathered.data(), gathered.size());
    });
    errno = saved;
    return refused;
}

bool RefuseLookup(const char* name) noexcept {
    if (!Filtering() || name == nullptr) return false;
    const int saved = errno;
    const bool refused = InspectLookup(name);
    errno = saved;
    return refused;
}

}  // namespace tamsel
