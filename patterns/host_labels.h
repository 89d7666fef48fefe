// A host name lower-cased and split at its dots, as lists and requests compare it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel {

inline constexpr int kMaxHostLabels = 512;

struct HostLabels {
    // Lower-cased copy with NULs in place of the dots. A heap block, not a
    // std::string, so that the views below survive a move.
    std::unique_ptr<char[]> storage;
    std::vector<std::string_view> labels;  // left to right, into `storage`

    int32_t count() const { return static_cast<int32_t>(labels.size()); }
    bool empty() const { return labels.empty(); }
};

// Leading, trailing and doubled dots give no empty labels. A host of more than
// 512 labels yields no labels at all.
HostLabels SplitHostLabels(std::string_view host);

// Whether the pattern host covers the request host: labels are paired from the
// right, a pattern label "*" takes any one label, and a "*" inside a label
// takes the rest of the request's label. A pattern without labels covers all.
bool MatchHostLabels(const HostLabels& pattern, const HostLabels& request);

// Calls `visit(label)` for the labels of an unsplit host from right to left,
// skipping empty ones, while it returns true. False when `visit` stopped it.
template <typename Visit>
bool EachLabelFromRight(std::string_view host, Visit visit) {
    size_t end = host.size();
    while (end > 0) {
        const size_t dot = host.rfind('.', end - 1);
        const size_t begin = dot == std::string_view::npos ? 0 : dot + 1;
        const std::string_view label = host.substr(begin, end - begin);
        end = dot == std::string_view::npos ? 0 : dot;
        if (!label.empty() && !visit(label)) return false;
    }
    return true;
}

// The same test for a host pattern as a list holds it: unsplit, in any case.
bool MatchHostPattern(std::string_view pattern, const HostLabels& request);

}  // namespace tamsel
