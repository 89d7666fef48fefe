#include "patterns/request_url.h"

#include <cstring>

#include "base/bit_words.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

// Hands each non-empty token between bytes for which `isSeparator` holds
// to `take(start, length, index)`; NUL and LF end the text. The count, or
// -1 once a token would go past `capacity`.
template <typename IsSeparator, typename Take>
int CutTokens(std::string_view text, IsSeparator isSeparator, int capacity, Take take) {
    int count = 0;
    size_t start = 0;
    for (size_t i = 0;; ++i) {
        const char c = i == text.size() ? '\0' : text[i];
        const bool end = c == '\0' || c == '\n';
        if (!end && !isSeparator(c)) continue;
        if (i != start) {
            if (count >= capacity) return -1;
            take(start, i - start, count++);
        }
        if (end) break;
        start = i + 1;
    }
    return count;
}

// The tokens of `text` as views, cut where `isSeparator` holds.
template <typename IsSeparator>
int CutTokenViews(std::string_view text, IsSeparator isSeparator, std::string_view* tokens, int capacity) {
    return CutTokens(text, isSeparator, capacity,
                     [&](size_t start, size_t length, int i) { tokens[i] = text.substr(start, length); });
}

// A set of separator bytes, one bit per byte value: a few words to clear,
// where a table of bytes would cost a 256-byte fill on every call.
class ByteBits {
public:
    explicit ByteBits(std::string_view bytes) {
        for (const char b : bytes) SetBit(bits_, static_cast<unsigned char>(b));
    }
    bool operator()(char c) const { return HasBit(bits_, static_cast<unsigned char>(c)); }

private:
    uint64_t bits_[4] = {};
};

}  // namespace

int SplitTokenViews(std::string_view text, std::string_view separators, std::string_view* tokens, int capacity) {
    return CutTokenViews(text, ByteBits(separators), tokens, capacity);
}

int SplitTokens(char* text, const char* separators, char** tokens, int capacity) {
    if (text == nullptr) return -1;
    return CutTokens(text, ByteBits(separators), capacity, [&](size_t start, size_t length, int i) {
        text[start + length] = '\0';
        tokens[i] = text + start;
    });
}

namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";

// Returns the part after "http://" or "https://", or nullopt for neither.
std::optional<std::string_view> AfterScheme(std::string_view target) {
    if (StartsWithNoCase(target, kHttp)) return target.substr(kHttp.size());
    if (StartsWithNoCase(target, kHttps)) return target.substr(kHttps.size());
    return std::nullopt;
}

bool IsParsedMethod(std::string_view method) {
    return (method.size() == 3 && StartsWithNoCase(method, "get")) ||
           (method.size() == 4 && StartsWithNoCase(method, "head")) ||
           (method.size() == 4 && StartsWithNoCase(method, "post"));
}

// An absolute URL after its scheme: the authority runs to the first "/",
// "?" or "#", and the path from there ("?" straight after the host starts
// the path too, so that the host is not taken with the query).
void TakeAbsolute(std::string_view rest, RequestView* url) {
    size_t end = 0;
    while (end < rest.size() && rest[end] != '/' && rest[end] != '?' && rest[end] != '#') ++end;
    url->path = end == rest.size() ? "/" : rest.substr(end);
    url->hostport = rest.substr(0, end);
}

// A bracketed IPv6 literal, "[::1]" or "[::1]:8080": the host keeps its
// brackets, as a URL writes it. Anything else after the "]" leaves the host
// unknown.
void SplitBracketedHost(std::string_view text, RequestView* url) {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return;
    const std::string_view after = text.substr(close + 1);
    if (!after.empty() && after.front() != ':') return;
    url->host = text.substr(0, close + 1);
    url->port = after.empty() ? 80 : AtoiSaturating(after.substr(1));
}

// Host and port are the first two pieces between colons; a third piece, or
// none at all, leaves the host unknown. User information before an "@" is
// no part of the host.
void SplitHostPort(RequestView* url) {
    std::string_view text = *url->hostport;
    size_t end = 0;
    while (end < text.size() && text[end] != '\0' && text[end] != '\n') ++end;
    text = text.substr(0, end);
    if (const size_t at = text.rfind('@'); at != std::string_view::npos) text.remove_prefix(at + 1);
    if (text.starts_with('[')) return SplitBracketedHost(text, url);
    std::string_view parts[2];
    const int n = CutTokenViews(text, [](char c) { return c == ':'; }, parts, 2);
    if (n == 1) {
        url->host = parts[0];
        url->port = 80;
    } else if (n == 2) {
        url->host = parts[0];
        url->port = AtoiSaturating(parts[1]);
    }
}

// Whether a byte ends a token of a request line: the blank, CR and LF part
// tokens, and NUL ends the line. All sit at or below the blank, so most
// bytes are passed on one comparison.
constexpr bool EndsToken(char c) {
    return static_cast<unsigned char>(c) <= ' ' && (c == ' ' || c == '\r' || c == '\n' || c == '\0');
}

// The tokens of a request line, as CutTokens would cut them at blanks and
// CR, in the scan every request pays: the count, or -1 for more than three.
int CutRequestLine(std::string_view line, std::string_view* tokens) {
    int count = 0;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\r')) ++i;
        if (i == line.size() || line[i] == '\n' || line[i] == '\0') return count;
        const size_t start = i;
        while (i < line.size() && !EndsToken(line[i])) ++i;
        if (count == 3) return -1;
        tokens[count++] = line.substr(start, i - start);
    }
}

}  // namespace

RequestView ParseRequestView(std::string_view line, std::optional<std::string_view> hostValue) {
    RequestView url;
    std::string_view tokens[3];
    const int n = CutRequestLine(line, tokens);
    if (n == 3) {
        if (!IsParsedMethod(tokens[0])) return url;
        url.method = tokens[0];
        url.version = tokens[2];
        if (const auto rest = AfterScheme(tokens[1])) {
            TakeAbsolute(*rest, &url);
        } else {
            url.path = tokens[1];
            url.hostport = hostValue;  // split below up to a NUL or LF
        }
    } else if (n == 1) {
        url.method = "get";
        url.version = "http/1.0";
        if (const auto rest = AfterScheme(tokens[0])) {
            TakeAbsolute(*rest, &url);
        } else {
            url.path = tokens[0];
            url.hostport = "localhost";
        }
    }
    if (!url.hostport) return url;
    SplitHostPort(&url);
    if (url.host && !url.path) url.path = "/";
    return url;
}

RequestView ViewOf(const RequestUrl& url) {
    const auto view = [](const std::optional<std::string>& text) -> std::optional<std::string_view> {
        if (!text) return std::nullopt;
        return std::string_view(*text);
    };
    return {view(url.method), view(url.host), url.port, view(url.path), view(url.version), view(url.hostport)};
}

void KeepRequest(const RequestView& view, std::string_view line, RequestUrl* url) {
    const auto keep = [](const std::optional<std::string_view>& text) -> std::optional<std::string> {
        if (!text) return std::nullopt;
        return std::string(*text);
    };
    *url = {std::string(line), keep(view.method), keep(view.host), view.port,
            keep(view.path), keep(view.version), keep(view.hostport)};
}

void ParseRequestUrl(const char* line, const char* hostValue, RequestUrl* url) {
    std::optional<std::string_view> host;
    if (hostValue != nullptr) host = hostValue;
    KeepRequest(ParseRequestView(line, host), line, url);
}

void FreeRequestUrl(RequestUrl* url) {
    if (url == nullptr) return;
    *url = RequestUrl{};
}

}  // namespace tamsel
