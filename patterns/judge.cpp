#include "patterns/judge.h"

namespace tamsel {

Judgement JudgeRequestUrl(const RequestUrl& url, const ListSet& lists, PathMode mode) {
    Judgement result;
    if (!url.host) return result;
    // Split once for all three lists.
    const HostLabels labels = SplitHostLabels(*url.host);
    const struct {
        const PatternList* list;
        Verdict onMatch;
    } order[] = {
        {lists.trust, Verdict::Trusted},
        {lists.userBlock, Verdict::Refused},
        {lists.shippedBlock, Verdict::Refused},
    };
    for (const auto& step : order) {
        const PatternEntry* entry = FindDecidingEntry(url, labels, step.list, mode);
        if (entry == nullptr) continue;
        if (entry->positive == 1) return {step.onMatch, step.list, entry};
        if (result.entry == nullptr) result = {Verdict::Passed, step.list, entry};
    }
    return result;
}

namespace {

bool HostCanMatch(const PatternEntry& entry, const HostLabels& host) {
    return entry.host.empty() || MatchHostLabels(entry.labels, host);
}

// The entry that refuses every request to `host`, or null. Entries are in
// chain order, so an exception met before the candidate stands after it in
// the file and would be tried first.
const PatternEntry* WhollyRefusingEntry(const PatternList* list, const HostLabels& host) {
    if (list == nullptr) return nullptr;
    for (const PatternEntry& entry : list->entries) {
        if (!HostCanMatch(entry, host)) continue;
        if (entry.positive != 1) return nullptr;
        if (!entry.path && entry.port == 0) return &entry;
    }
    return nullptr;
}

}  // namespace

Judgement JudgeHostLookup(std::string_view host, const ListSet& lists) {
    const HostLabels labels = SplitHostLabels(host);
    if (labels.empty()) return {};
    if (lists.trust != nullptr) {
        for (const PatternEntry& entry : lists.trust->entries) {
            if (HostCanMatch(entry, labels)) return {};
        }
    }
    for (const PatternList* list : {lists.userBlock, lists.shippedBlock}) {
        if (const PatternEntry* entry = WhollyRefusingEntry(list, labels)) return {Verdict::Refused, list, entry};
    }
    return {};
}

}  // namespace tamsel
