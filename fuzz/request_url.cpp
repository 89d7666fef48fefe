// The request URL parser: a request line and a Host value, cut from the
// input at its first NUL (no NUL: no Host header).
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "patterns/request_url.h"

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
        if (url.host->find(':') != std::string::npos) Fail("a port left in the host");
        if (!url.path) Fail("a host without a path");
        if (!url.method || !url.version || !url.hostport) Fail("a host without method, version or host:port");
    }
    tamsel::FreeRequestUrl(&url);
    if (url.raw || url.host || url.path) Fail("a freed record keeps a text");

    // The tokenizer on its own, with a capacity the input picks.
    std::string work = line;
    char* tokens[8];
    const int capacity = line.empty() ? 0 : static_cast<unsigned char>(line[0]) % 9;
    const int n = tamsel::SplitTokens(work.data(), " .:", tokens, capacity);
    if (n > capacity) Fail("more tokens than the capacity");
    for (int i = 0; i < n; ++i) {
        if (tokens[i][0] == '\0') Fail("an empty token");
    }
    return 0;
}
