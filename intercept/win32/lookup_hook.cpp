#include <winsock2.h>
#include <ws2tcpip.h>

#include "intercept/win32/lookup_hook.h"

#include <atomic>
#include <type_traits>

#include "intercept/lookup.h"
#include "intercept/tls_client_hello.h"
#include "intercept/win32/hook_engine.h"
#include "runtime/shared_state.h"

namespace tamsel {

namespace {

using AddrInfoLookupA = INT(WSAAPI*)(PCSTR, PCSTR, const ADDRINFOA*, PADDRINFOA*);
using AddrInfoLookupW = INT(WSAAPI*)(PCWSTR, PCWSTR, const ADDRINFOW*, PADDRINFOW*);
using HostByNameLookup = hostent*(WSAAPI*)(const char*);

// Filled before any table routes a call here; null until then.
constinit std::atomic<AddrInfoLookupA> g_realGetAddrInfo{nullptr};
constinit std::atomic<AddrInfoLookupW> g_realGetAddrInfoW{nullptr};
constinit std::atomic<HostByNameLookup> g_realGetHostByName{nullptr};

// Whether the name must be answered "no such host". The caller's socket
// error is kept when the lookup goes on.
bool RefuseName(const char* name) noexcept {
    if (name == nullptr || TheSharedState().AllowAds.load(std::memory_order_relaxed) != 0) return false;
    const int saved = WSAGetLastError();
    const bool refused = InspectLookup(name);
    WSASetLastError(saved);
    return refused;
}

// A wide name in ASCII; any other character lets the lookup go on (a host
// the lists name is ASCII).
bool RefuseWideName(PCWSTR name) noexcept {
    if (name == nullptr) return false;
    char narrow[kMaxHostNameLength + 2];
    size_t length = 0;
    for (; name[length] != L'\0'; ++length) {
        if (length + 1 >= sizeof narrow || name[length] > 0x7f) return false;
        narrow[length] = static_cast<char>(name[length]);
    }
    narrow[length] = '\0';
    return RefuseName(narrow);
}

// getaddrinfo and GetAddrInfoW alike: a caller that asked for a numeric
// host only is making no lookup.
template <typename Fn, typename Char, typename Hints, typename Result>
INT AddressLookup(const std::atomic<Fn>& slot, bool (*refuse)(const Char*) noexcept, const Char* node,
                  const Char* service, const Hints* hints, Result* result) {
    const Fn real = slot.load(std::memory_order_acquire);
    if (real == nullptr) return WSANO_RECOVERY;
    const bool numericOnly = hints != nullptr && (hints->ai_flags & AI_NUMERICHOST) != 0;
    if (!numericOnly && refuse(node)) {
        WSASetLastError(WSAHOST_NOT_FOUND);
        return WSAHOST_NOT_FOUND;
    }
    return real(node, service, hints, result);
}

INT WSAAPI GetAddrInfoHook(PCSTR node, PCSTR service, const ADDRINFOA* hints, PADDRINFOA* result) noexcept {
    return AddressLookup(g_realGetAddrInfo, &RefuseName, node, service, hints, result);
}

INT WSAAPI GetAddrInfoWHook(PCWSTR node, PCWSTR service, const ADDRINFOW* hints, PADDRINFOW* result) noexcept {
    return AddressLookup(g_realGetAddrInfoW, &RefuseWideName, node, service, hints, result);
}

hostent* WSAAPI GetHostByNameHook(const char* name) noexcept {
    const HostByNameLookup real = g_realGetHostByName.load(std::memory_order_acquire);
    if (real == nullptr || RefuseName(name)) {
        WSASetLastError(real == nullptr ? WSANO_RECOVERY : WSAHOST_NOT_FOUND);
        return nullptr;
    }
    return real(name);
}

// Routes one export to `replacement`; the first real function found fills
// the slot. A module whose export already leads to the replacement (a name
// forwarded to a module routed before) is left as it is.
template <typename Fn>
void Route(const char* moduleName, const char* functionName, std::type_identity_t<Fn> replacement,
           std::atomic<Fn>& slot) {
    void* real = hook::ResolveExport(moduleName, functionName);
    void* const replacementAddress = reinterpret_cast<void*>(replacement);
    if (real == nullptr || real == replacementAddress) return;
    Fn expected = nullptr;
    slot.compare_exchange_strong(expected, reinterpret_cast<Fn>(real), std::memory_order_acq_rel);
    hook::RouteExport({moduleName, functionName, real, replacementAddress});
}

}  // namespace

void InstallLookupHooks() {
    Route("WS2_32.DLL", "getaddrinfo", &GetAddrInfoHook, g_realGetAddrInfo);
    Route("WS2_32.DLL", "GetAddrInfoW", &GetAddrInfoWHook, g_realGetAddrInfoW);
    Route("WS2_32.DLL", "gethostbyname", &GetHostByNameHook, g_realGetHostByName);
    Route("WSOCK32.DLL", "gethostbyname", &GetHostByNameHook, g_realGetHostByName);
}

}  // namespace tamsel
