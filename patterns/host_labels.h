// A host name lower-cased and split at its dots, as lists and requests compare it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace tamsel {

inline constexpr int kMaxHostLabels = 512;

// The lower-cased copy and the label views sit inside the object for hosts of
// up to kInlineBytes bytes and kInlineLabels labels, so that judging a request
// allocates nothing; longer hosts, rare, take them from the heap. The views
// point into the object itself, so it can be neither copied nor moved.
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

    int32_t count() const { return static_cast<int32_t>(labels.size()); }
    bool empty() const { return labels.empty(); }

private:
    // Moves the labels cut so far to the heap, where kMaxHostLabels fit.
    std::string_view* SpillLabels();

    char inlineText_[kInlineBytes];
    std::string_view inlineLabels_[kInlineLabels];
    std::unique_ptr<char[]> heapText_;
    std::unique_ptr<std::string_view[]> heapLabels_;
};

// The labels of `host`, built in the caller's variable.
inline HostLabels SplitHostLabels(std::string_view host) { return HostLabels(host); }

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

// Whether a host pattern, as a list holds it (unsplit, in any case), covers
// the request host: labels are paired from the right, a pattern label "*"
// takes any one label, and a "*" inside a label takes the rest of the
// request's label. A pattern without labels covers all.
bool MatchHostPattern(std::string_view pattern, const HostLabels& request);

}  // namespace tamsel
