// A test-only preload that resolves every name under .test and .example to
// 127.0.0.1, since the machines the tests run on have no name service. It is
// preloaded after the module, so the module's lookup gate runs first and this
// answers only the names the gate lets through.
#include <dlfcn.h>
#include <netdb.h>

#include <cstring>
#include <string_view>

namespace {

bool IsTestName(const char* node) {
    if (node == nullptr) return false;
    const std::string_view name(node);
    return name.ends_with(".test") || name.ends_with(".example");
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int getaddrinfo(const char* node, const char* service,
                                                                  const addrinfo* hints, addrinfo** result) {
    using Fn = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(IsTestName(node) ? "127.0.0.1" : node, service, hints, result);
}
