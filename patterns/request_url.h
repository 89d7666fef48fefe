// The parsed parts of one outgoing request, and the tokenizer that cuts them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tamsel {

// Null (nullopt) and empty stay distinct: a null `host` means no host could be
// found, and such a record matches no list.
struct RequestUrl {
    std::optional<std::string> raw;       // the whole line passed in
    std::optional<std::string> method;    // as sent, or "get" for a bare URL
    std::optional<std::string> host;      // without port, as sent
    int32_t port = 0;                     // 80 when the host text has none
    std::optional<std::string> path;      // query included
    std::optional<std::string> version;   // as sent, or "http/1.0" for a bare URL
    std::optional<std::string> hostport;  // what host and port were split from
};

// Fills an empty record from a request line (or a bare URL) and the value of
// the Host header, which may be null. Neither input is modified.
void ParseRequestUrl(const char* line, const char* hostValue, RequestUrl* url);

// Empties every text of the record. A null record is ignored.
void FreeRequestUrl(RequestUrl* url);

// Splits `text` in place at any of `separators`; NUL and LF end the text.
// Empty tokens are dropped. Returns the number of tokens stored in `tokens`,
// or -1 for a null text or more non-empty tokens than `capacity`.
int SplitTokens(char* text, const char* separators, char** tokens, int capacity);

}  // namespace tamsel
