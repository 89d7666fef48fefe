#include "patterns/host_labels.h"

#include <algorithm>

#include "patterns/byte_words.h"
#include "patterns/text.h"

namespace tamsel {

// The host is lowered into the object a word at a time up to its first NUL
// or LF, which end it as they end a request line; one scan of the copy then
// cuts it at its dots and hashes each label.
HostLabels::HostLabels(std::string_view host) {
    char* text = inlineText_;
    if (host.size() > kInlineBytes) {
        heapText_.reset(new char[host.size()]);
        text = heapText_.get();
    }
    const size_t end = LowerInto(host, text, true);
    std::string_view* cut = inlineLabels_;
    uint32_t* hashed = inlineHashes_;
    size_t count = 0;
    size_t start = 0;
    uint32_t hash = kHostHashSeed;
    const auto endLabel = [&](size_t at) {
        if (at == start) return true;
        if (count == kMaxHostLabels) return false;  // too many labels: none at all
        if (count == kInlineLabels) SpillLabels(&cut, &hashed);
        hashed[count] = EndLabelHash(hash);
        cut[count++] = std::string_view(text + start, at - start);
        return true;
    };
    for (size_t i = 0; i < end; ++i) {
        if (text[i] != '.') {
            hash = HashLabelByte(hash, text[i]);
            continue;
        }
        if (!endLabel(i)) return;
        start = i + 1;
        hash = kHostHashSeed;
    }
    if (!endLabel(end)) return;
    labels = std::span<const std::string_view>(cut, count);
    hashes = std::span<const uint32_t>(hashed, count);
}

void HostLabels::SpillLabels(std::string_view** cut, uint32_t** hashes) {
    heapLabels_.reset(new std::string_view[kMaxHostLabels]);
    heapHashes_.reset(new uint32_t[kMaxHostLabels]);
    std::copy(inlineLabels_, inlineLabels_ + kInlineLabels, heapLabels_.get());
    std::copy(inlineHashes_, inlineHashes_ + kInlineLabels, heapHashes_.get());
    *cut = heapLabels_.get();
    *hashes = heapHashes_.get();
}

uint32_t HashHostLabel(std::string_view label) {
    uint32_t hash = kHostHashSeed;
    for (const char c : label) hash = HashLabelByte(hash, AsciiLower(c));
    return EndLabelHash(hash);
}

namespace {

bool LabelMatches(std::string_view pattern, std::string_view request) {
    size_t i = 0;
    while (i < pattern.size() && i < request.size() && AsciiLower(pattern[i]) == AsciiLower(request[i])) ++i;
    if (i == pattern.size() && i == request.size()) return true;
    return i < pattern.size() && pattern[i] == '*';
}

}  // namespace

bool MatchHostPattern(std::string_view pattern, const HostLabels& request) {
    auto r = request.labels.rbegin();
    return EachLabelFromRight(pattern, [&](std::string_view label) {
        if (r == request.labels.rend() || !LabelMatches(label, *r)) return false;
        ++r;
        return true;
    });
}

}  // namespace tamsel
