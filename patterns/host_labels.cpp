#include "patterns/host_labels.h"

#include "patterns/request_url.h"
#include "patterns/text.h"

namespace tamsel {

HostLabels SplitHostLabels(std::string_view host) {
    HostLabels out;
    out.storage.reset(new char[host.size() + 1]);
    for (size_t i = 0; i < host.size(); ++i) out.storage[i] = AsciiLower(host[i]);
    out.storage[host.size()] = '\0';
    char* parts[kMaxHostLabels];  // on the stack: this runs once per request
    const int n = SplitTokens(out.storage.get(), ".", parts, kMaxHostLabels);
    if (n <= 0) return HostLabels{};
    out.labels.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out.labels.emplace_back(parts[i]);
    return out;
}

namespace {

bool LabelMatches(std::string_view pattern, std::string_view request) {
    size_t i = 0;
    while (i < pattern.size() && i < request.size() && AsciiLower(pattern[i]) == AsciiLower(request[i])) ++i;
    if (i == pattern.size() && i == request.size()) return true;
    return i < pattern.size() && pattern[i] == '*';
}

}  // namespace

bool MatchHostLabels(const HostLabels& pattern, const HostLabels& request) {
    if (pattern.empty()) return true;
    if (request.count() < pattern.count()) return false;
    auto p = pattern.labels.rbegin();
    auto r = request.labels.rbegin();
    for (; p != pattern.labels.rend(); ++p, ++r) {
        if (!LabelMatches(*p, *r)) return false;
    }
    return true;
}

bool MatchHostPattern(std::string_view pattern, const HostLabels& request) {
    auto r = request.labels.rbegin();
    return EachLabelFromRight(pattern, [&](std::string_view label) {
        if (r == request.labels.rend() || !LabelMatches(label, *r)) return false;
        ++r;
        return true;
    });
}

}  // namespace tamsel
