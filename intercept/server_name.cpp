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

std::string ServerNameUrl(std::string_view name, int32_t port) {
    return "https://" + std::string(name) + ":" + std::to_string(port) + "/";
}

}  // namespace

Judgement InspectClientHelloWith(const char* buffer, int32_t length, int32_t port, const ListSet& lists,
                                 std::string* url) {
    try {
        if (length <= 0) return {};
        const auto name = FindServerName(Bytes(buffer), static_cast<size_t>(length));
        if (!name) return {};
        if (url != nullptr) *url = ServerNameUrl(*name, port);
        return JudgeWhollyRefused(*name, port, lists);
    } catch (...) {
        return {};  // fail open
    }
}

bool InspectClientHello(const OutgoingBuffer& buffer, int32_t port) {
    // Most buffers were found to be something else, and never touch the lists.
    if (buffer.kind != OutgoingKind::ClientHello) return false;
    return RefusedWithCurrentLists(kRefusedByServerNameStage, [&](const ListSet& lists, std::string* subject) {
        const auto name = ServerNameOfHello(Bytes(buffer.bytes), buffer.length);
        if (!name) return Judgement{};
        const Judgement judgement = JudgeWhollyRefused(*name, port, lists);
        // Only a refusal is logged: a passing name is judged without a copy.
        if (judgement.verdict == Verdict::Refused) *subject = ServerNameUrl(*name, port);
        return judgement;
    });
}

int32_t PeerPort(const void* address, size_t size, bool internet) {
    if (!internet || size < 4) return kDefaultTlsPort;
    const auto* bytes = static_cast<const unsigned char*>(address);
    return bytes[2] << 8 | bytes[3];
}

}  // namespace tamsel
