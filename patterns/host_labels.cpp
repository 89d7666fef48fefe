#include "patterns/host_labels.h"

#include <algorithm>
#include <cstring>

#include "patterns/byte_words.h"
#include "patterns/text.h"

namespace tamsel {

// One scan, eight bytes at a time, lowers the host into the object up to its
// first NUL or LF (which end it as they end a request line), finds its dots
// and hashes each label as its dot is met (see WordAt for the host's last
// bytes). A word is written whole, so the
// copy may run up to eight bytes past the host, into room kept for it.
HostLabels::HostLabels(std::string_view host) {
    char* text = inlineText_;
    if (host.size() > kInlineBytes) {
        heapText_.reset(new char[host.size() + 8]);
        text = heapText_.get();
    }
    std::string_view* cut = inlineLabels_;
    uint32_t* hashed = inlineHashes_;
    size_t count = 0;
    size_t start = 0;
    size_t seen = 0;
    bool tooMany = false;  // then no labels at all
    const auto cutLabel = [&](size_t end) {
        if (end == start) return;
        if (count == kMaxHostLabels) {
            tooMany = true;
            return;
        }
        if (count == kInlineLabels) SpillLabels(&cut, &hashed);
        hashed[count] = HashPaddedLabel(text + start, end - start);
        cut[count++] = std::string_view(text + start, end - start);
    };
    for (bool more = !host.empty(); more;) {
        size_t valid = 0;
        const uint64_t word = WordAt(host, seen, &valid);
        const uint64_t ends = (BytesBelow(word, 1) | BytesAre(word, '\n')) & FirstBytes(valid);
        if (ends != 0) valid = FirstMarked(ends);  // the first mark is exact
        const uint64_t lowered = LowerEightBytes(word);
        std::memcpy(text + seen, &lowered, sizeof lowered);
        for (uint64_t dots = EachByteThatIs(lowered, '.') & FirstBytes(valid); dots != 0; dots &= dots - 1) {
            const size_t dot = seen + FirstMarked(dots);
            cutLabel(dot);
            start = dot + 1;
        }
        seen += valid;
        more = ends == 0 && seen < host.size();
    }
    cutLabel(seen);
    if (tooMany) return;
    labels = std::span<const std::string_view>(cut, count);
    hashes = std::span<const uint32_t>(hashed, count);
    if (count > 0) lowered = std::string_view(text, seen);
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
    char inlineCopy[HostLabels::kInlineBytes + 8];
    std::unique_ptr<char[]> heapCopy;
    char* copy = inlineCopy;
    if (label.size() > HostLabels::kInlineBytes) {
        heapCopy.reset(new char[label.size() + 8]);
        copy = heapCopy.get();
    }
    std::transform(label.begin(), label.end(), copy, AsciiLower);
    std::memset(copy + label.size(), 0, 8);
    return HashPaddedLabel(copy, label.size());
}

namespace {

// Whether a pattern label matches a lowered request label.
bool LabelMatches(std::string_view pattern, std::string_view request) {
    size_t i = 0;
    while (i < pattern.size() && i < request.size() && AsciiLower(pattern[i]) == request[i]) ++i;
    if (i == pattern.size() && i == request.size()) return true;
    return i < pattern.size() && pattern[i] == '*';
}

// Whether the lowered host ends in the pattern's own text, byte for byte
// (the pattern lowered), at a label boundary: then the pattern's labels are
// the host's last ones, each matching itself, whatever wildcards they hold.
// Eight bytes at a time from the end.
bool EndsInPattern(std::string_view pattern, std::string_view host) {
    if (pattern.empty() || pattern.size() > host.size()) return false;
    const size_t before = host.size() - pattern.size();
    if (before > 0 && host[before - 1] != '.') return false;
    size_t left = pattern.size();
    for (; left >= 8; left -= 8) {
        if (LowerEightBytes(EightBytes(pattern.data() + left - 8)) != EightBytes(host.data() + before + left - 8)) {
            return false;
        }
    }
    for (size_t i = 0; i < left; ++i) {
        if (AsciiLower(pattern[i]) != host[before + i]) return false;
    }
    return true;
}

}  // namespace

// Most patterns a request meets are found by their plain labels, and are
// the host's own end: that is answered in one compare. The rest are paired
// label by label.
bool MatchHostPattern(std::string_view pattern, const HostLabels& request) {
    if (EndsInPattern(pattern, request.lowered)) return true;
    auto r = request.labels.rbegin();
    return EachLabelFromRight(pattern, [&](std::string_view label) {
        if (r == request.labels.rend() || !LabelMatches(label, *r)) return false;
        ++r;
        return true;
    });
}

}  // namespace tamsel
