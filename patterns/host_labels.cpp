#include "patterns/host_labels.h"

#include <algorithm>

#include "patterns/text.h"

namespace tamsel {

// One scan lower-cases the host into the object, cuts it at its dots and
// hashes each label; NUL and LF end it, as they end a request line. The
// three bytes that need a second look all sit at or below the dot, so most
// bytes take one test.
HostLabels::HostLabels(std::string_view host) {
    char* text = inlineText_;
    if (host.size() > kInlineBytes) {
        heapText_.reset(new char[host.size()]);
        text = heapText_.get();
    }
    std::string_view* cut = inlineLabels_;
    uint32_t* hashed = inlineHashes_;
    size_t count = 0;
    size_t start = 0;
    uint32_t hash = kHostHashSeed;
    const auto endLabel = [&](size_t end) {
        if (end == start) return true;
        if (count == kMaxHostLabels) return false;  // too many labels: none at all
        if (count == kInlineLabels) SpillLabels(&cut, &hashed);
        hashed[count] = EndLabelHash(hash);
        cut[count++] = std::string_view(text + start, end - start);
        return true;
    };
    size_t i = 0;
    for (; i < host.size(); ++i) {
        const char c = host[i];
        const char lower = AsciiLower(c);
        text[i] = lower;
        if (static_cast<unsigned char>(c) > '.') {
            hash = HashLabelByte(hash, lower);
            continue;
        }
        if (c == '\0' || c == '\n') break;
        if (c != '.') {
            hash = HashLabelByte(hash, lower);
            continue;
        }
        if (!endLabel(i)) return;
        start = i + 1;
        hash = kHostHashSeed;
    }
    if (!endLabel(i)) return;
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
