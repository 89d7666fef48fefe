#include "patterns/judge.h"

namespace tamsel {

Judgement JudgeRequest(const RequestView& url, const ListSet& lists, PathMode mode) {
    Judgement result;
    if (!url.host) return result;
    // Split and lower-case once for all three lists.
    const HostLabels labels = SplitHostLabels(*url.host);
    const PreparedRequest request(url, labels, mode);
    const struct {
        const PatternList* list;
        Verdict onMatch;
    } order[] = {
        {lists.trust, Verdict::Trusted},
        {lists.userBlock, Verdict::Refused},
        {lists.shippedBlock, Verdict::Refused},
    };
    for (const auto& step : order) {
        const PatternEntry* entry = FindDecidingEntry(request, step.list);
        if (entry == nullptr) continue;
        if (entry->positive) return {step.onMatch, step.list, entry};
        if (result.entry == nullptr) result = {Verdict::Passed, step.list, entry};
    }
    return result;
}

Judgement JudgeRequestUrl(const RequestUrl& url, const ListSet& lists, PathMode mode) {
    return JudgeRequest(ViewOf(url), lists, mode);
}

namespace {

// The entry that refuses every request to `host`, or null: the first, in
// chain order, of the entries whose host can match that is an exception
// (then nothing is certain) or a line without path and port. Lines with a
// path filed by their text never refuse everything; of them only the
// exceptions can stand in the way.
const PatternEntry* WhollyRefusingEntry(const PatternList* list, const HostLabels& host) {
    if (list == nullptr) return nullptr;
    const uint32_t found = list->index.FirstPassingForHost(host, false, [&](uint32_t i) {
        const PatternEntry& entry = list->entries[i];
        return EntryHostCovers(*list, entry, host) && (!entry.positive || (!entry.hasPath() && list->Port(entry) == 0));
    });
    if (found == ListIndex::kNone || !list->entries[found].positive) return nullptr;
    return &list->entries[found];
}

bool AnyLineCovers(const PatternList* list, const HostLabels& host) {
    if (list == nullptr) return false;
    return list->index.FirstPassingForHost(host, true, [&](uint32_t i) {
        return EntryHostCovers(*list, list->entries[i], host);
    }) != ListIndex::kNone;
}

}  // namespace

Judgement JudgeHostLookup(std::string_view host, const ListSet& lists) {
    const HostLabels labels = SplitHostLabels(host);
    if (labels.empty() || AnyLineCovers(lists.trust, labels)) return {};
    for (const PatternList* list : {lists.userBlock, lists.shippedBlock}) {
        if (const PatternEntry* entry = WhollyRefusingEntry(list, labels)) return {Verdict::Refused, list, entry};
    }
    return {};
}

}  // namespace tamsel
