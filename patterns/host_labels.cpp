#include "patterns/host_labels.h"

#include "patterns/request_url.h"
#include "patterns/text.h"

namespace tamsel {

HostLabels::HostLabels(std::string_view host) {
    char* text = inlineText_;
    if (host.size() > kInlineBytes) {
        heapText_.reset(new char[host.size()]);
        text = heapText_.get();
    }
    for (size_t i = 0; i < host.size(); ++i) text[i] = AsciiLower(host[i]);
    const std::string_view lowered(text, host.size());
    const int n = SplitTokenViews(lowered, ".", inlineLabels_, static_cast<int>(kInlineLabels));
    if (n >= 0) {
        labels = std::span<const std::string_view>(inlineLabels_, static_cast<size_t>(n));
        return;
    }
    heapLabels_.reset(new std::string_view[kMaxHostLabels]);
    const int many = SplitTokenViews(lowered, ".", heapLabels_.get(), kMaxHostLabels);
    if (many > 0) labels = std::span<const std::string_view>(heapLabels_.get(), static_cast<size_t>(many));
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
