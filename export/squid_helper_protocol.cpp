#include "export/squid_helper_protocol.h"

#include <algorithm>
#include <vector>

#include "browser/source_judge.h"
#include "intercept/lookup.h"
#include "patterns/request_url.h"
#include "patterns/text.h"

namespace tamsel {
namespace {

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    size_t at = 0;
    while (at < line.size()) {
        const size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(line.find_first_of(" \t", start), line.size());
        tokens.push_back(line.substr(start, end - start));
        at = end;
    }
    return tokens;
}

bool AllDigits(std::string_view text) { return !text.empty() && std::all_of(text.begin(), text.end(), IsAsciiDigit); }

// "scheme://...", the scheme as RFC 3986 allows it.
bool IsUrl(std::string_view uri) {
    const size_t colon = uri.find("://");
    if (colon == std::string_view::npos || colon == 0) return false;
    return std::all_of(uri.begin(), uri.begin() + static_cast<long>(colon), [](char c) {
        const char lower = AsciiLower(c);
        return (lower >= 'a' && lower <= 'z') || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
    });
}

bool IsHostChar(char c) {
    const char lower = AsciiLower(c);
    return (lower >= 'a' && lower <= 'z') || IsAsciiDigit(c) || c == '-' || c == '.' || c == '_';
}

// A host name, an IPv4 address or a bracketed IPv6 address: nothing a URL
// could carry beyond its authority.
bool IsTunnelHost(std::string_view host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        const std::string_view inside = host.substr(1, host.size() - 2);
        return std::all_of(inside.begin(), inside.end(), [](char c) { return IsHostChar(c) || c == ':'; });
    }
    return !host.empty() && std::all_of(host.begin(), host.end(), IsHostChar);
}

// The URL as `tamsel check` judges it: refused at lookup when every request
// to its host is refused, else as the page filter judges an element's source.

// A CONNECT's "host:port": every request through the tunnel goes to that
// name and port with a path the proxy never sees, so only the server-name
// rule can refuse it. The name and port are read as the lists read those
// of an https URL.
std::optional<Judgement> JudgeTunnel(std::string_view uri, const ListSet& lists) {
    const size_t colon = uri.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::string_view host = uri.substr(0, colon), portText = uri.substr(colon + 1);
    if (!IsTunnelHost(host) || !AllDigits(portText) || portText.size() > 5) return std::nullopt;
    const int32_t port = AtoiSaturating(portText);
    if (port < 1 || port > 65535) return std::nullopt;
    std::string url = "https://" + std::string(uri) + "/";
    LowerAscii(url);
    RequestUrl parsed;
    ParseRequestUrl(url.c_str(), nullptr, &parsed);
    if (!parsed.host) return std::nullopt;
    return JudgeWhollyRefused(*parsed.host, port, lists);
}

// "refused by FILE:LINE PATTERN", as `tamsel check` names a deciding line;
// empty when no line took part.
std::string Reason(const Judgement& judgement) {
    if (judgement.entry == nullptr) return {};
    const char* word = judgement.verdict == Verdict::Refused   ? "refused"
                       : judgement.verdict == Verdict::Trusted ? "trusted"
                                                               : "passed";
    return std::string(word) + " by " + judgement.list->source + ":" +
           std::to_string(judgement.list->LineNumber(*judgement.entry)) + " " + (judgement.entry->positive ? "" : "~") +
           std::string(judgement.list->Text(*judgement.entry));
}

}  // namespace

HelperRequest ParseHelperLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string_view> tokens = Tokens(line);
    // No URI is all digits (a CONNECT's has a colon), so a leading number
    // is the channel ID of a helper run with concurrency.
    const bool hasChannel = !tokens.empty() && AllDigits(tokens[0]);
    HelperRequest request;
    if (hasChannel) request.channel = tokens[0];
    const size_t uriAt = hasChannel ? 1 : 0;
    if (tokens.size() > uriAt) request.uri = tokens[uriAt];
    return request;
}

std::optional<Judgement> JudgeProxiedUri(std::string_view uri, const ListSet& lists) {
    // Squid escapes every control byte; a raw one (a NUL would cut the URL
    // short) means the line did not come from it.
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; };
    if (std::any_of(uri.begin(), uri.end(), control)) return std::nullopt;
    if (IsUrl(uri)) return JudgeUrlAtEarliestStage(uri, lists).judgement;
    return JudgeTunnel(uri, lists);
}

std::string QuoteHelperValue(std::string_view value) {
    std::string quoted = "\"";
    for (const char c : EscapeControlBytes(value)) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string AnswerHelperLine(std::string_view line, const ListSet& lists) {
    const HelperRequest request = ParseHelperLine(line);
    const std::string lead = request.channel.empty() ? "" : request.channel + " ";
    if (!request.uri) return lead + "BH message=" + QuoteHelperValue("no URI on the request line");
    const std::optional<Judgement> judgement = JudgeProxiedUri(*request.uri, lists);
    if (!judgement) {
        return lead + "BH message=" + QuoteHelperValue("neither a URL nor host:port: " + *request.uri);
    }
    const std::string answer = lead + (judgement->verdict == Verdict::Refused ? "OK" : "ERR");
    const std::string reason = Reason(*judgement);
    return reason.empty() ? answer : answer + " message=" + QuoteHelperValue(reason);
}

}  // namespace tamsel
