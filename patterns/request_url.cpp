#include "patterns/request_url.h"

#include <algorithm>
#include <cstring>

#include "patterns/byte_words.h"
#include "patterns/text.h"

namespace tamsel {

namespace {

// Whether a byte is `lower` in either case; `lower` must be a letter, whose
// cases differ only in the 0x20 bit.
constexpr bool IsLetterNoCase(char c, char lower) { return (c | 0x20) == lower; }

// Returns the part after "http://" or "https://", or nullopt for neither:
// "http" in any case, then an "s" in any case or none, then "://". A target
// of eight bytes or more is compared as one word, the letters of "http"
// lowered by setting their 0x20 bit (only "H" and "h" give "h" so, and so on),
// and that of the "s" too where an "s" is asked for.
std::optional<std::string_view> AfterScheme(std::string_view target) {
    if (target.size() >= 8) {
        const uint64_t word = EightBytes(target.data()) | 0x20202020u;  // "http" lowered
        constexpr uint64_t kHttp = 0x002f2f3a70747468u;                 // "http://", low byte first
        constexpr uint64_t kHttps = 0x2f2f3a7370747468u;                // "https://"
        if ((word & 0x00ffffffffffffffu) == kHttp) return target.substr(7);
        if ((word | 0x2000000000u) == kHttps) return target.substr(8);
        return std::nullopt;
    }
    if (target.size() < 7 || !IsLetterNoCase(target[0], 'h') || !IsLetterNoCase(target[1], 't') ||
        !IsLetterNoCase(target[2], 't') || !IsLetterNoCase(target[3], 'p')) {
        return std::nullopt;
    }
    return target.substr(4, 3) == "://" ? std::optional(target.substr(7)) : std::nullopt;
}

bool IsParsedMethod(std::string_view method) {
    return (method.size() == 3 && StartsWithNoCase(method, "get")) ||
           (method.size() == 4 && StartsWithNoCase(method, "head")) ||
           (method.size() == 4 && StartsWithNoCase(method, "post"));
}

// The marks (see BytesAre) of the bytes of an authority that end it, and
// of those that ask for more than taking it whole as the host: user
// information, a port, or a bracketed literal.
constexpr uint64_t AuthorityEnds(uint64_t word) {
    return BytesAre(word, '/') | BytesAre(word, '?') | BytesAre(word, '#');
}
constexpr uint64_t NeedsSplitting(uint64_t word) {
    return BytesAre(word, '@') | BytesAre(word, ':') | BytesAre(word, '[');
}

// An absolute URL after its scheme: the authority runs to the first "/",
// "?" or "#", and the path from there ("?" straight after the host starts
// the path too, so that the host is not taken with the query). Eight bytes
// at a time (see WordAt). An authority that holds no "@", ":" or "[" is the host itself,
// on port 80, and is taken so here; others are left to SplitHostPort.
void TakeAbsolute(std::string_view rest, RequestView* url) {
    size_t end = 0;
    uint64_t split = 0;
    while (end < rest.size()) {
        size_t valid = 0;
        const uint64_t word = WordAt(rest, end, &valid);
        const uint64_t ends = AuthorityEnds(word) & FirstBytes(valid);
        if (ends != 0) {
            split |= NeedsSplitting(word) & BeforeFirstMark(ends);
            end += FirstMarked(ends);
            break;
        }
        split |= NeedsSplitting(word) & FirstBytes(valid);
        end += valid;
    }
    url->path = end == rest.size() ? "/" : rest.substr(end);
    url->hostport = rest.substr(0, end);
    if (split == 0 && end > 0) {
        url->host = url->hostport;
        url->port = 80;
    }
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

// Host and port are the first two pieces of `text` between colons; a third
// piece, or none at all, leaves the host unknown. User information before
// an "@" is no part of the host.
void SplitHostPort(std::string_view text, RequestView* url) {
    if (const size_t at = text.rfind('@'); at != std::string_view::npos) text.remove_prefix(at + 1);
    if (text.starts_with('[')) return SplitBracketedHost(text, url);
    std::string_view parts[2];
    int n = 0;
    for (size_t from = 0; from < text.size();) {
        const size_t colon = std::min(text.find(':', from), text.size());
        if (colon > from) {
            if (n == 2) return;
            parts[n++] = text.substr(from, colon - from);
        }
        from = colon + 1;
    }
    if (n == 0) return;
    url->host = parts[0];
    url->port = n == 1 ? 80 : AtoiSaturating(parts[1]);
}

// A Host value up to its first NUL or LF, which end it as they end a line.
std::string_view UpToLineEnd(std::string_view text) {
    size_t end = 0;
    while (end < text.size() && text[end] != '\0' && text[end] != '\n') ++end;
    return text.substr(0, end);
}

// Whether a byte ends a token of a request line: the blank, CR and LF part
// tokens, and NUL ends the line. All sit at or below the blank, so most
// bytes are passed on one comparison.
constexpr bool EndsToken(char c) {
    return static_cast<unsigned char>(c) <= ' ' && (c == ' ' || c == '\r' || c == '\n' || c == '\0');
}

// Where the token that starts at `i` ends: its first byte that EndsToken,
// or the end of the line. Eight bytes at a time (see WordAt) while none of
// them is at or below the blank; other control bytes are part of the token.
size_t TokenEnd(std::string_view line, size_t i) {
    while (i < line.size()) {
        size_t valid = 8;
        uint64_t low = 0;
        while (i + 8 <= line.size() && (low = BytesBelow(EightBytes(line.data() + i), ' ' + 1)) == 0) i += 8;
        if (low == 0 && i < line.size()) low = BytesBelow(WordAt(line, i, &valid), ' ' + 1) & FirstBytes(valid);
        if (low == 0) return line.size();
        i += FirstMarked(low);
        if (EndsToken(line[i])) return i;
        ++i;
    }
    return i;
}

// The tokens of a request line, cut at blanks and CR with empty ones
// dropped: the count, or -1 for more than three.
int CutRequestLine(std::string_view line, std::string_view* tokens) {
    int count = 0;
    size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\r')) ++i;
        if (i == line.size() || line[i] == '\n' || line[i] == '\0') return count;
        const size_t start = i;
        i = TokenEnd(line, i);
        if (count == 3) return -1;
        tokens[count++] = line.substr(start, i - start);
    }
}

}  // namespace

RequestView ParseRequestView(std::string_view line, std::optional<std::string_view> hostValue) {
    RequestView url;
    std::string_view tokens[3];
    bool fromHostValue = false;
    const int n = CutRequestLine(line, tokens);
    if (n == 3) {
        if (!IsParsedMethod(tokens[0])) return url;
        url.method = tokens[0];
        url.version = tokens[2];
        if (const auto rest = AfterScheme(tokens[1])) {
            TakeAbsolute(*rest, &url);
        } else {
            url.path = tokens[1];
            url.hostport = hostValue;
            fromHostValue = true;
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
    if (!url.hostport || url.host) return url;
    // A token of the line holds no NUL or LF; a Host value may.
    SplitHostPort(fromHostValue ? UpToLineEnd(*url.hostport) : *url.hostport, &url);
    if (url.host && !url.path) url.path = "/";
    return url;
}

void KeepRequest(const RequestView& view, std::string_view line, RequestUrl* url) {
    const auto keep = [](const std::optional<std::string_view>& text) -> std::optional<std::string> {
        if (!text) return std::nullopt;
        return std::string(*text);
    };
    *url = {std::string(line), keep(view.method),  keep(view.host),    view.port,
            keep(view.path),   keep(view.version), keep(view.hostport)};
}

void ParseRequestUrl(const char* line, const char* hostValue, RequestUrl* url) {
    std::optional<std::string_view> host;
    if (hostValue != nullptr) host = hostValue;
    KeepRequest(ParseRequestView(line, host), line, url);
}

}  // namespace tamsel
