#include "intercept/server_name.h"

#include <string>

#include "intercept/inspect.h"
#include "intercept/refusal.h"
#include "intercept/tls_client_hello.h"

namespace tamsel {

namespace {

const unsigned char* Bytes(const char* buffer) { return reinterpret_cast<const unsigned char*>(buffer); }

Judgement JudgeServerName(std::string_view name, int32_t port, const ListSet& lists, std::string* url) {
    const std::string text = "https://" + std::string(name) + ":" + std::to_string(port) + "/";
    RequestUrl request;
    ParseRequestUrl(text.c_str(), nullptr, &request);
    if (url != nullptr) *url = text;
    return JudgeRequestUrl(request, lists, PathMode::Unknown);
}

}  // namespace

Judgement InspectClientHelloWith(const char* buffer, int32_t length, int32_t port, const ListSet& lists,
                                 std::string* url) {
    if (length <= 0) return {};
    try {
        const auto name = FindServerName(Bytes(buffer), static_cast<size_t>(length));
        if (!name) return {};
        return JudgeServerName(*name, port, lists, url);
    } catch (...) {
        return {};  // fail open
    }
}

bool InspectClientHello(const char* buffer, int32_t length, int32_t port) {
    // Most buffers are turned away here, before the lists are touched.
    if (length <= 0 || !LooksLikeClientHello(Bytes(buffer), static_cast<size_t>(length))) return false;
    return RefusedWithCurrentLists(kRefusedByServerNameStage, [&](const ListSet& lists, std::string* subject) {
        return InspectClientHelloWith(buffer, length, port, lists, subject);
    });
}

}  // namespace tamsel
