// Which entries of a list can possibly match a given request host.
//
// A host pattern whose last two labels are plain text can only match hosts
// that end in those two labels, so entries are filed under their last one
// or two plain labels; only entries with a wildcard at the end, or with no
// host at all, must be tried for every request. The candidates come back in
// chain order, so the first one that passes still decides.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "patterns/host_labels.h"

namespace tamsel {

struct PatternEntry;

class HostIndex {
public:
    // `entries` in chain order.
    void Build(const std::vector<PatternEntry>& entries);

    // Calls `test(index)` for the candidate entries of a request host in
    // ascending chain order, until it returns true; returns that index, or
    // -1 when none did.
    template <typename Test>
    int32_t FirstPassing(const HostLabels& request, Test test) const;

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using Buckets = std::unordered_map<std::string, std::vector<int32_t>, Hash, std::equal_to<>>;

    const std::vector<int32_t>* Find(const Buckets& buckets, std::string_view key) const;

    std::vector<int32_t> always_;
    Buckets byLastLabel_;
    Buckets byLastTwoLabels_;  // key "b.c"
};

template <typename Test>
int32_t HostIndex::FirstPassing(const HostLabels& request, Test test) const {
    static const std::vector<int32_t> kNone;
    const size_t n = request.labels.size();
    const std::vector<int32_t>* one = n >= 1 ? Find(byLastLabel_, request.labels[n - 1]) : nullptr;
    const std::vector<int32_t>* two = nullptr;
    if (n >= 2) {
        // The two labels sit in the split storage with a NUL between them.
        const std::string_view a = request.labels[n - 2];
        std::string key;
        key.reserve(a.size() + 1 + request.labels[n - 1].size());
        key.append(a).push_back('.');
        key.append(request.labels[n - 1]);
        two = Find(byLastTwoLabels_, key);
    }
    const std::vector<int32_t>* lists[3] = {&always_, one ? one : &kNone, two ? two : &kNone};
    size_t at[3] = {0, 0, 0};
    for (;;) {
        int best = -1;
        for (int k = 0; k < 3; ++k) {
            if (at[k] < lists[k]->size() && (best < 0 || (*lists[k])[at[k]] < (*lists[best])[at[best]])) best = k;
        }
        if (best < 0) return -1;
        const int32_t index = (*lists[best])[at[best]++];
        if (test(index)) return index;
    }
}

}  // namespace tamsel
