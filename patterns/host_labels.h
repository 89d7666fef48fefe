// A host name lower-cased and split at its dots, as lists and requests compare it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "patterns/byte_words.h"

namespace tamsel {

inline constexpr int kMaxHostLabels = 512;

// The lower-cased copy, the label views and each label's hash sit inside the
// object for hosts of up to kInlineBytes bytes and kInlineLabels labels, so
// that judging a request allocates nothing; longer hosts, rare, take them
// from the heap. The views point into the object itself, so it can be
// neither copied nor moved.
class HostLabels {
public:
    static constexpr size_t kInlineBytes = 256;
    static constexpr size_t kInlineLabels = 32;

    // Leading, trailing and doubled dots give no empty labels. A host of more
    // than kMaxHostLabels labels yields no labels at all.
    explicit HostLabels(std::string_view host);
    HostLabels(const HostLabels&) = delete;
    HostLabels& operator=(const HostLabels&) = delete;

    std::span<const std::string_view> labels;  // left to right
    // By label, as `labels`: HashHostLabel(label), made in the same scan
    // that lowers and cuts the host.
    std::span<const uint32_t> hashes;
    // The lower-cased host the labels were cut from, up to its first NUL or
    // LF; empty when it gave no labels.
    std::string_view lowered;

    int32_t count() const { return static_cast<int32_t>(labels.size()); }
    bool empty() const { return labels.empty(); }

private:
    // Moves the labels and hashes cut so far to the heap, where kMaxHostLabels fit.
    void SpillLabels(std::string_view** cut, uint32_t** hashes);

    // The host's bytes, lowered, and the word past them that a label's hash
    // reads to its end.
    char inlineText_[kInlineBytes + 8];
    // Left unset until cut: a request rarely has more than a few labels,
    // and clearing all of them would cost more than cutting the host.
    union {
        std::string_view inlineLabels_[kInlineLabels];
    };
    uint32_t inlineHashes_[kInlineLabels];
    std::unique_ptr<char[]> heapText_;
    std::unique_ptr<std::string_view[]> heapLabels_;
    std::unique_ptr<uint32_t[]> heapHashes_;
};

// The hash of a lowered label of `length` bytes at `at`, eight bytes at a
// time: the whole words that hold it are read, and its bytes alone count.
inline uint32_t HashPaddedLabel(const char* at, size_t length) {
    constexpr uint64_t kMultiplier = 0xff51afd7ed558ccdu;
    uint64_t hash = (length + 1) * 0x9e3779b97f4a7c15u;
    for (; length > 8; length -= 8, at += 8) hash = (hash ^ EightBytes(at)) * kMultiplier;
    hash = (hash ^ (EightBytes(at) & FirstBytes(length))) * kMultiplier;
    return static_cast<uint32_t>(hash >> 32);
}

// The hash of one label without regard to case (A to Z): HashPaddedLabel
// of its lowered bytes.
uint32_t HashHostLabel(std::string_view label);

// The key of a host suffix one label longer: `suffix` is that of the labels
// on its right (0 for none), `labelHash` the new label's HashHostLabel.
constexpr uint32_t ExtendSuffixKey(uint32_t suffix, uint32_t labelHash) { return suffix * 0x9e3779b1u + labelHash; }

// The labels of `host`, built in the caller's variable.
inline HostLabels SplitHostLabels(std::string_view host) { return HostLabels(host); }

// Calls `visit(label)` for the labels of an unsplit host from right to left,
// skipping empty ones, while it returns true. False when `visit` stopped it.
template <typename Visit>
bool EachLabelFromRight(std::string_view host, Visit visit) {
    for (size_t end = host.size(); end > 0;) {
        size_t begin = end;
        while (begin > 0 && host[begin - 1] != '.') --begin;
        if (begin < end && !visit(host.substr(begin, end - begin))) return false;
        end = begin > 0 ? begin - 1 : 0;
    }
    return true;
}

// Whether a host pattern, as a list holds it (unsplit, in any case), covers
// the request host: labels are paired from the right, a pattern label "*"
// takes any one label, and a "*" inside a label takes the rest of the
// request's label. A pattern without labels covers all.
bool MatchHostPattern(std::string_view pattern, const HostLabels& request);

}  // namespace tamsel
