#include "intercept/server_name.h"

#include <optional>
#include <string>
#include <string_view>

#include "intercept/inspect.h"
#include "intercept/refusal.h"
#include "intercept/tls_client_hello.h"

namespace tamsel {

namespace {

const unsigned char* Bytes(const char* buffer) { return reinterpret_cast<const unsigned char*>(buffer); }

// The server name a buffer announces, when it is a whole ClientHello naming one.
std::optional<std::string_view> NamedServer(const char* buffer, int32_t length) {
    if (length <= 0) return std::nullopt;
    return FindServerName(Bytes(buffer), static_cast<size_t>(length));
}

std::string ServerNameUrl(std::string_view name, int32_t port) {
    return "https://" + std::string(name) + ":" + std::to_string(port) + "/";
}

}  // namespace

Judgement InspectClientHelloWith(const char* buffer, int32_t length, int32_t port, const ListSet& lists,
                                 std::string* url) {
    try {
        const auto name = NamedServer(buffer, length);
        if (!name) return {};
        if (url != nullptr) *url = ServerNameUrl(*name, port);
        return JudgeWhollyRefused(*name, port, lists);
    } catch (...) {
        return {};  // fail open
    }
}

bool InspectClientHello(const char* buffer, int32_t length, int32_t port) {
    // Most buffers are turned away here, before the lists are touched.
    if (length <= 0 || !LooksLikeClientHello(Bytes(buffer), static_cast<size_t>(length))) return false;
    return RefusedWithCurrentLists(kRefusedByServerNameStage, [&](const ListSet& lists, std::string* subject) {
        const auto name = NamedServer(buffer, length);
        if (!name) return Judgement{};
        const Judgement judgement = JudgeWhollyRefused(*name, port, lists);
        // Only a refusal is logged: a passing name is judged without a copy.
        if (judgement.verdict == Verdict::Refused) *subject = ServerNameUrl(*name, port);
        return judgement;
    });
}

}  // namespace tamsel
