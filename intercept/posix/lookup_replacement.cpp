// The exported replacements of libc's name lookups. A name whose every
// request the lists refuse is answered "no such host" before any lookup is
// made; everything else goes to libc's own function untouched.
#include <netdb.h>
#include <pthread.h>
#include <sys/socket.h>

#include "intercept/posix/real_function.h"
#include "intercept/posix/send_gate.h"

#define TAMSEL_EXPORT __attribute__((visibility("default")))

namespace tamsel {
namespace {

constinit RealFunction<int (*)(const char*, const char*, const addrinfo*, addrinfo**)> realGetAddrInfo("getaddrinfo");
constinit RealFunction<hostent* (*)(const char*)> realGetHostByName("gethostbyname");
constinit RealFunction<int (*)(const char*, hostent*, char*, size_t, hostent**, int*)> realGetHostByNameR(
    "gethostbyname_r");

// A refused lookup is still a cancellation point, as libc's lookups are.
bool Refused(const char* name) {
    if (!RefuseLookup(name)) return false;
    ::pthread_testcancel();
    return true;
}

// A caller that asked for a numeric host only is making no lookup.
bool NumericOnly(const addrinfo* hints) { return hints != nullptr && (hints->ai_flags & AI_NUMERICHOST) != 0; }

}  // namespace
}  // namespace tamsel

using namespace tamsel;

extern "C" {

TAMSEL_EXPORT int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    const auto real = realGetAddrInfo.get();
    if (real == nullptr) return EAI_SYSTEM;
    if (!NumericOnly(hints) && Refused(node)) return EAI_NONAME;
    return real(node, service, hints, result);
}

TAMSEL_EXPORT hostent* gethostbyname(const char* name) {
    const auto real = realGetHostByName.get();
    if (real == nullptr || Refused(name)) {
        h_errno = real == nullptr ? NO_RECOVERY : HOST_NOT_FOUND;
        return nullptr;
    }
    return real(name);
}

// As libc answers a name it cannot find: 0, no result, HOST_NOT_FOUND.
TAMSEL_EXPORT int gethostbyname_r(const char* name, hostent* entry, char* buffer, size_t size, hostent** result,
                                  int* error) {
    const auto real = realGetHostByNameR.get();
    if (real != nullptr && !Refused(name)) return real(name, entry, buffer, size, result, error);
    if (result != nullptr) *result = nullptr;
    if (error != nullptr) *error = real == nullptr ? NO_RECOVERY : HOST_NOT_FOUND;
    return 0;
}

}  // extern "C"
