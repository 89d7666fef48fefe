// The request URL parser: a request line and a Host value, cut from the
// input at its first NUL (no NUL: no Host header).
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "patterns/request_url.h"

namespace {

bool Same(const std::optional<std::string_view>& view, const std::optional<std::string>& owned) {
    return view.has_value() == owned.has_value() && (!view || *view == *owned);
}

// A copy in a block of exactly its size, so that reading past the view is caught.
struct Exact {
    explicit Exact(const std::string& text) : bytes(new char[text.size()]), size(text.size()) {
        std::memcpy(bytes.get(), text.data(), text.size());
    }
    std::string_view view() const { return {bytes.get(), size}; }
    std::unique_ptr<char[]> bytes;
    size_t size;
};

// The parser on views: the same parts as the record, read from the given bytes only.
void CheckViews(const std::string& line, const std::optional<std::string>& host, const tamsel::RequestUrl& url) {
    const Exact exactLine(line);
    const std::optional<Exact> exactHost = host ? std::optional<Exact>(std::in_place, *host) : std::nullopt;
    const tamsel::RequestView view = tamsel::ParseRequestView(
        exactLine.view(), exactHost ? std::optional<std::string_view>(exactHost->view()) : std::nullopt);
    if (!Same(view.method, url.method) || !Same(view.host, url.host) || !Same(view.path, url.path) ||
        !Same(view.version, url.version) || !Same(view.hostport, url.hostport) || view.port != url.port) {
        tamsel::fuzz::Fail("the views and the record disagree");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tamsel::fuzz::Fail;
    const auto fields = tamsel::fuzz::SplitFields(data, size, '\0');
    const std::string& line = fields[0];
    const char* host = fields.size() > 1 ? fields[1].c_str() : nullptr;
    tamsel::RequestUrl url;
    tamsel::ParseRequestUrl(line.c_str(), host, &url);
    if (!url.raw || *url.raw != line) Fail("the record does not keep the line it came from");
    if (url.host) {
        if (url.host->empty()) Fail("an empty host");
        // Colons only inside the brackets of an IPv6 address.
        const bool bracketed = url.host->front() == '[' && url.host->back() == ']';
        if (!bracketed && url.host->find(':') != std::string::npos) Fail("a port left in the host");
        if (url.host->find('@') != std::string::npos) Fail("user information left in the host");
        if (!url.path) Fail("a host without a path");
        if (!url.method || !url.version || !url.hostport) Fail("a host without method, version or host:port");
    }
    CheckViews(line, host ? std::optional<std::string>(host) : std::nullopt, url);
    return 0;
}
