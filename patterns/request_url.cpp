#include "patterns/request_url.h"

#include <array>
#include <cstring>
#include <string_view>

#include "patterns/text.h"

namespace tamsel {

int SplitTokens(char* text, const char* separators, char** tokens, int capacity) {
    if (text == nullptr) return -1;
    enum : uint8_t { kPlain, kSeparator, kEnd };
    std::array<uint8_t, 256> kind{};
    for (const char* s = separators; *s != '\0'; ++s) kind[static_cast<unsigned char>(*s)] = kSeparator;
    kind[0] = kEnd;
    kind['\n'] = kEnd;

    int count = 0;
    char* start = text;
    for (char* p = text;; ++p) {
        const uint8_t k = kind[static_cast<unsigned char>(*p)];
        if (k == kPlain) continue;
        *p = '\0';
        if (p != start) {
            if (count >= capacity) return -1;
            tokens[count++] = start;
        }
        if (k == kEnd) break;
        start = p + 1;
    }
    return count;
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

// An absolute URL after its scheme: the first "/" begins the path.
void TakeAbsolute(std::string_view rest, RequestUrl* url) {
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        url->path = "/";
        url->hostport = std::string(rest);
    } else {
        url->path = std::string(rest.substr(slash));
        url->hostport = std::string(rest.substr(0, slash));
    }
}

void SplitHostPort(RequestUrl* url) {
    std::string work = *url->hostport;
    char* parts[10];
    const int n = SplitTokens(work.data(), ":", parts, 10);
    if (n == 1) {
        url->host = parts[0];
        url->port = 80;
    } else if (n == 2) {
        url->host = parts[0];
        url->port = AtoiSaturating(parts[1]);
    }
}

}  // namespace

void ParseRequestUrl(const char* line, const char* hostValue, RequestUrl* url) {
    url->raw = line;
    std::string work = line;
    char* tokens[10];
    const int n = SplitTokens(work.data(), " \r\n", tokens, 10);
    if (n == 3) {
        if (!IsParsedMethod(tokens[0])) return;
        url->method = tokens[0];
        url->version = tokens[2];
        if (const auto rest = AfterScheme(tokens[1])) {
            TakeAbsolute(*rest, url);
        } else {
            url->path = tokens[1];
            if (hostValue != nullptr) url->hostport = hostValue;
        }
    } else if (n == 1) {
        url->method = "get";
        url->version = "http/1.0";
        if (const auto rest = AfterScheme(tokens[0])) {
            TakeAbsolute(*rest, url);
        } else {
            url->path = tokens[0];
            url->hostport = "localhost";
        }
    }
    if (!url->hostport) return;
    SplitHostPort(url);
    if (url->host && !url->path) url->path = "/";
}

void FreeRequestUrl(RequestUrl* url) {
    if (url == nullptr) return;
    *url = RequestUrl{};
}

}  // namespace tamsel
