#include <winsock2.h>
#include <ws2tcpip.h>

#include "intercept/win32/send_hook.h"

#include <cstddef>
#include <mutex>
#include <type_traits>

#include "base/boundary.h"
#include "intercept/inspect.h"
#include "intercept/server_name.h"
#include "intercept/win32/hook_engine.h"
#include "intercept/win32/lookup_hook.h"
#include "runtime/shared_state.h"

namespace {

// Zero until the hook is installed; SendHook fails rather than call it then.
constinit std::atomic<tamsel::SendFunction> g_realSend{nullptr};

std::mutex g_installMutex;
constinit bool g_installed = false;

}  // namespace

extern "C" {
constinit tamsel::ApiHookChainTable ApiHookChain = {
    {tamsel::kHookChainOpening, 0, 0, 0, 0, 0}, "WSOCK32.DLL", "send", 0x100, &g_realSend, 0, &tamsel::SendHook,
    {tamsel::kHookChainClosing, 0, 0, 0, 0, 0},
};
}

namespace tamsel {

static_assert(std::is_same_v<SendFunction, decltype(&send)>, "SendHook has exactly send's type");

namespace {

int PassOn(SOCKET socket, const char* buffer, int length, int flags) {
    const SendFunction real = g_realSend.load(std::memory_order_acquire);
    if (real == nullptr) {
        // No real send to reach: a failed send the caller can handle, where
        // a call through the empty slot would crash the process.
        WSASetLastError(WSAENETDOWN);
        return SOCKET_ERROR;
    }
    return real(socket, buffer, length, flags);
}

// Keeps this module in the process for good: once any table routes send
// here, unloading it would leave those calls jumping into freed memory, and
// waiting at unload for threads blocked in a real send could hang forever.
bool PinModule() {
    HMODULE self = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&SendHook), &self) != 0;
}

bool Install(const ApiHookChainTable& table) {
    void* real = hook::ResolveExport(table.moduleName, table.functionName);
    const auto replacement = reinterpret_cast<void*>(table.replacement);
    // A name that already resolves to the replacement must never become
    // the real send: SendHook would call itself without end.
    if (real == nullptr || real == replacement || !PinModule()) return false;
    // The slot is filled before any table points at SendHook.
    table.realSend->store(reinterpret_cast<SendFunction>(real), std::memory_order_release);
    const hook::RouteResult routed = hook::RouteExport({table.moduleName, table.functionName, real, replacement});
    return routed.exportEntries > 0;
}

static_assert(offsetof(sockaddr_in, sin_port) == 2 && offsetof(sockaddr_in6, sin6_port) == 2, "PeerPort reads there");

int32_t RemotePort(SOCKET socket) {
    sockaddr_storage address{};
    int size = sizeof address;
    if (getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size) != 0) size = 0;
    return PeerPort(&address, static_cast<size_t>(size), address.ss_family == AF_INET || address.ss_family == AF_INET6);
}

// A request head by its request line and Host header, a ClientHello by its
// server name and the connection's port. The caller's socket error is kept.
bool Refused(SOCKET socket, const char* buffer, int length) {
    if (length <= 0) return false;
    const OutgoingBuffer outgoing = ClassifyOutgoing(buffer, static_cast<size_t>(length));
    if (outgoing.kind == OutgoingKind::RequestHead) return InspectRequest(outgoing);
    if (outgoing.kind != OutgoingKind::ClientHello) return false;
    const int saved = WSAGetLastError();
    const bool refused = InspectClientHello(outgoing, RemotePort(socket));
    WSASetLastError(saved);
    return refused;
}

}  // namespace

int WSAAPI SendHook(SOCKET socket, const char* buffer, int length, int flags) noexcept {
    // The filter fails open: whatever goes wrong inside, the call passes.
    const bool refused = TheSharedState().AllowAds.load(std::memory_order_relaxed) == 0 &&
                         AtBoundary(false, [&] { return Refused(socket, buffer, length); });
    if (refused) {
        // A failed send, not a byte count: the caller must not believe that
        // anything of the request went out. The connection is shut down
        // both ways, so a caller that waits for an answer reads the end at
        // once and its next send fails too.
        shutdown(socket, SD_BOTH);
        WSASetLastError(WSAECONNABORTED);
        return SOCKET_ERROR;
    }
    return PassOn(socket, buffer, length, flags);
}

bool InstallSendHook(uint32_t processId) noexcept {
    if (processId != GetCurrentProcessId()) return false;
    // Out of memory while scanning the modules: not installed.
    return AtBoundary(false, [] {
        const std::lock_guard lock(g_installMutex);
        if (!g_installed) {
            g_installed = Install(ApiHookChain);
            // Lookups follow send: the module is pinned by now.
            if (g_installed) InstallLookupHooks();
        }
        return g_installed;
    });
}

}  // namespace tamsel
