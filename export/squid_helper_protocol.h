// The answers of a Squid external ACL helper whose format is %URI: one
// request per line, an answer per line.
//
// A request line is "[channel-ID] URI [values...]": the channel ID leads
// only when Squid was told concurrency=N, and it is echoed back; values
// after the URI (Squid appends the ACL's arguments, "-" when there are none)
// are ignored. Squid URL-escapes each value so that it stays one token, but
// leaves a "%" of the URL as it is, so the escaping cannot be undone: the
// URI is judged as the token gives it, which for a well-formed request is
// the target exactly as the client sent it, escapes and all, as the module
// sees it in the request head.
//
// The answer is "OK" when the lists refuse the request (the ACL matches, so
// "http_access deny" refuses it), "ERR" otherwise, and "BH" for a line that
// names no request; a refusal or trust carries message="..." naming the
// deciding file, line and pattern, which Squid shows as %o on its error page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "patterns/judge.h"

namespace tamsel {

struct HelperRequest {
    std::string channel;             // empty without concurrency
    std::optional<std::string> uri;  // nullopt when the line holds none
};

// The channel ID and URI of one line, without its line end.
HelperRequest ParseHelperLine(std::string_view line);

// What a proxy's URI stands for: a CONNECT's "host:port" (a tunnel, judged
// by the server name and port, as a TLS connection is) or a URL (judged as
// `tamsel check` judges it: refused at lookup when every request to its host
// is, else by the request itself). nullopt for a URI that is neither.
std::optional<Judgement> JudgeProxiedUri(std::string_view uri, const ListSet& lists);

// `value` as a quoted keyword value: inside double quotes, with each quote
// and backslash escaped by a backslash and control bytes written out, so the
// answer stays one line.
std::string QuoteHelperValue(std::string_view value);

// The answer to one request line, without its line end. Never throws but
// for want of memory.
std::string AnswerHelperLine(std::string_view line, const ListSet& lists);

}  // namespace tamsel
