#include "intercept/posix/send_gate.h"

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/boundary.h"
#include "intercept/inspect.h"
#include "base/boundary.h"
#include "module/shared_state.h"

namespace tamsel {

namespace {

std::atomic<bool> gateEnabled{false};

int32_t ClampLength(size_t length) {
    return length > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(length);
}

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

// The full inspection, for a buffer that has passed the method test. The
// caller's errno is kept: a write that goes on must not find it changed.
bool InspectKeepingErrno(const char* buffer, int32_t length) {
    const int saved = errno;
    const bool refused = InspectRequest(buffer, length);
    errno = saved;
    return refused;
}

bool LooksLikeHead(const void* buffer, size_t length) {
    return LooksLikeRequestHead(static_cast<const char*>(buffer), ClampLength(length));
}

}  // namespace

void EnableSendGate() noexcept { gateEnabled.store(true); }

bool RefuseSend(const void* buffer, size_t length) noexcept {
    if (!Filtering() || !LooksLikeHead(buffer, length)) return false;
    return InspectKeepingErrno(static_cast<const char*>(buffer), ClampLength(length));
}

bool RefuseWrite(int fd, const void* buffer, size_t length) noexcept {
    if (!Filtering() || !LooksLikeHead(buffer, length)) return false;
    const int saved = errno;
    const bool socket = IsStreamSocket(fd);
    errno = saved;
    return socket && InspectKeepingErrno(static_cast<const char*>(buffer), ClampLength(length));
}

bool RefuseVector(int fd, const iovec* elements, size_t count, bool needSocketCheck) noexcept {
    if (!Filtering() || elements == nullptr) return false;
    // The method test looks at the first bytes sent, which may come from
    // several elements ("GET" in one, " /x" in the next). Twelve bytes hold
    // any "POST " that starts within the first eight.
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
    if (first == count || !LooksLikeHead(prefix, have)) return false;
    const int saved = errno;
    const bool socket = !needSocketCheck || IsStreamSocket(fd);
    errno = saved;
    if (!socket) return false;
    // Senders often put the request line and the headers in separate
    // elements; the Host line may be in any of them. Out of memory while
    // gathering them, the call passes.
    const bool refused = AtBoundary(false, [&] {
        std::string head;
        for (size_t i = first; i < count && head.size() < kMaxInspectedBytes; ++i) {
            const size_t take = std::min(elements[i].iov_len, kMaxInspectedBytes - head.size());
            head.append(static_cast<const char*>(elements[i].iov_base), take);
        }
        return InspectKeepingErrno(head.data(), ClampLength(head.size()));
    });
    errno = saved;
    return refused;
}

}  // namespace tamsel
