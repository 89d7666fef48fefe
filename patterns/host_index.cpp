#include "patterns/host_index.h"

#include "patterns/pattern_list.h"

namespace tamsel {

namespace {

bool IsPlainLabel(std::string_view label) { return label.find('*') == std::string_view::npos; }

}  // namespace

void HostIndex::Build(const std::vector<PatternEntry>& entries) {
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto index = static_cast<int32_t>(i);
        const HostLabels& labels = entries[i].labels;
        const size_t n = labels.labels.size();
        // An empty host, or one of dots only, matches every host.
        if (entries[i].host.empty() || n == 0 || !IsPlainLabel(labels.labels[n - 1])) {
            always_.push_back(index);
        } else if (n >= 2 && IsPlainLabel(labels.labels[n - 2])) {
            byLastTwoLabels_[std::string(labels.labels[n - 2]) + "." + std::string(labels.labels[n - 1])].push_back(
                index);
        } else {
            byLastLabel_[std::string(labels.labels[n - 1])].push_back(index);
        }
    }
}

const std::vector<int32_t>* HostIndex::Find(const Buckets& buckets, std::string_view key) const {
    const auto it = buckets.find(key);
    return it == buckets.end() ? nullptr : &it->second;
}

}  // namespace tamsel
