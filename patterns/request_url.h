// The parsed parts of one outgoing request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamsel {

// One request as views into the text it was parsed from (or into constant
// text, for the defaults of a bare URL): nothing is copied or allocated, and
// the views live as long as that text. Null (nullopt) and empty stay
// distinct: a null `host` means no host could be found, and such a request
// matches no list.
struct RequestView {
    std::optional<std::string_view> method;    // as sent, or "get" for a bare URL
    std::optional<std::string_view> host;      // without port, as sent
    int32_t port = 0;                          // 80 when the host text has none
    std::optional<std::string_view> path;      // query included
    std::optional<std::string_view> version;   // as sent, or "http/1.0" for a bare URL
    std::optional<std::string_view> hostport;  // what host and port were split from
};

// The same parts as owned strings, with the whole line passed in.
struct RequestUrl {
    std::optional<std::string> raw;  // the whole line passed in
    std::optional<std::string> method;
    std::optional<std::string> host;
    int32_t port = 0;
    std::optional<std::string> path;
    std::optional<std::string> version;
    std::optional<std::string> hostport;
};

// Parses a request line (or a bare URL) and the value of the Host header,
// which may be null. A NUL or LF ends either text.
RequestView ParseRequestView(std::string_view line, std::optional<std::string_view> hostValue);

// Fills an empty record from a request line (or a bare URL) and the value of
// the Host header, which may be null. Neither input is modified.
void ParseRequestUrl(const char* line, const char* hostValue, RequestUrl* url);

// Fills a record from a parsed request and the line it was parsed from.
void KeepRequest(const RequestView& view, std::string_view line, RequestUrl* url);

}  // namespace tamsel
